// The texts of the installer window: the names of the installation steps and the texts of the
// window itself, each in Simplified Chinese, Traditional Chinese and English.
#include "ui/localized_texts.h"

#include "core/settings.h"

namespace {

enum Language { kSimplified, kTraditional, kEnglish };

// 1033 is English, 1028 Traditional Chinese (3076 has been stored as 1028 at start), every
// other language Simplified Chinese.
Language CurrentLanguage() {
    switch (GetInstallerSettings().uiLanguage) {
        case 1033:
            return kEnglish;
        case 1028:
            return kTraditional;
        default:
            return kSimplified;
    }
}

const WCHAR kEmptyText[1] = {0};

}  // namespace

const WCHAR StepTexts[3][kStepTextCount][kLocalizedTextSize] = {
    {
        u"下载安装统计信息",
        u"下载前端依赖库",
        u"下载服务依赖库",
        u"下载配置文件",
        u"下载运行库",
        u"下载Quant运行库",
        u"安装前端依赖库",
        u"安装服务依赖库",
        u"安装配置文件",
        u"安装运行库",
        u"安装Quant运行库",
        u"删除安装文件",
        u"保存版本信息",
        u"删除备份文件",
        u"复制新版本数据到原目录",
    },
    {
        u"下載安裝統計信息",
        u"下載前端依賴庫",
        u"下載服務依賴庫",
        u"下載配置文件",
        u"下載運行庫",
        u"下載Quant運行庫",
        u"安裝前端依賴庫",
        u"安裝服務依賴庫",
        u"安裝配置文件",
        u"安裝運行庫",
        u"安裝Quant運行庫",
        u"刪除安裝文件",
        u"保存版本信息",
        u"刪除備份文件",
        u"複製新版本數據到原目錄",
    },
    {
        u"Download install-statistics",
        u"Download front-end dependency library",
        u"Download service dependency library",
        u"Download configuration file",
        u"Download runtime library",
        u"Download Quant runtime library",
        u"Install front-end dependency library",
        u"Install service dependency library",
        u"Install configuration file",
        u"Install runtime library",
        u"Install Quant Runtime Library",
        u"Delete install files",
        u"Save version information",
        u"Delete backup files",
        u"Move new version into place",
    },
};

const WCHAR UiTexts[3][kUiTextCount][kLocalizedTextSize] = {
    {
        u"安装",
        u"服务器连接断开",
        u"已经是最新版本",
        u"安装成功",
        u"远帆",
        u"安装成功",
        u"失败",
        u"打开",
        u"错误码:",
        u"正在更新文件...",
        u"安装中，请稍后...",
    },
    {
        u"安裝",
        u"服務器連接斷開",
        u"已經是最新版本",
        u"安裝成功",
        u"遠帆",
        u"安裝成功",
        u"失敗",
        u"打開",
        u"錯誤碼:",
        u"正在更新文件...",
        u"安裝中，請稍後...",
    },
    {
        u"Install",
        u"Server Link Fail",
        u"The Local is latest version",
        u"Install Success",
        u"TAvrin Star",
        u"Install Success",
        u" Fail",
        u"Open",
        u"Error Code:",
        u"Updating file...",
        u"Installing, please wait...",
    },
};

const WCHAR* StepText(int index) {
    if (index < 0 || index >= kStepTextCount)
        return kEmptyText;
    return StepTexts[CurrentLanguage()][index];
}

const WCHAR* UiText(int index) {
    if (index < 0 || index >= kUiTextCount)
        return kEmptyText;
    return UiTexts[CurrentLanguage()][index];
}
