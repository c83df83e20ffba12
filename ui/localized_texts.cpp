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
        TEXT("下载安装统计信息"),
        TEXT("下载前端依赖库"),
        TEXT("下载服务依赖库"),
        TEXT("下载配置文件"),
        TEXT("下载运行库"),
        TEXT("下载Quant运行库"),
        TEXT("安装前端依赖库"),
        TEXT("安装服务依赖库"),
        TEXT("安装配置文件"),
        TEXT("安装运行库"),
        TEXT("安装Quant运行库"),
        TEXT("删除安装文件"),
        TEXT("保存版本信息"),
        TEXT("删除备份文件"),
        TEXT("复制新版本数据到原目录"),
    },
    {
        TEXT("下載安裝統計信息"),
        TEXT("下載前端依賴庫"),
        TEXT("下載服務依賴庫"),
        TEXT("下載配置文件"),
        TEXT("下載運行庫"),
        TEXT("下載Quant運行庫"),
        TEXT("安裝前端依賴庫"),
        TEXT("安裝服務依賴庫"),
        TEXT("安裝配置文件"),
        TEXT("安裝運行庫"),
        TEXT("安裝Quant運行庫"),
        TEXT("刪除安裝文件"),
        TEXT("保存版本信息"),
        TEXT("刪除備份文件"),
        TEXT("複製新版本數據到原目錄"),
    },
    {
        TEXT("Download install-statistics"),
        TEXT("Download front-end dependency library"),
        TEXT("Download service dependency library"),
        TEXT("Download configuration file"),
        TEXT("Download runtime library"),
        TEXT("Download Quant runtime library"),
        TEXT("Install front-end dependency library"),
        TEXT("Install service dependency library"),
        TEXT("Install configuration file"),
        TEXT("Install runtime library"),
        TEXT("Install Quant Runtime Library"),
        TEXT("Delete install files"),
        TEXT("Save version information"),
        TEXT("Delete backup files"),
        TEXT("Move new version into place"),
    },
};

const WCHAR UiTexts[3][kUiTextCount][kLocalizedTextSize] = {
    {
        TEXT("安装"),
        TEXT("服务器连接断开"),
        TEXT("已经是最新版本"),
        TEXT("安装成功"),
        TEXT("远帆"),
        TEXT("安装成功"),
        TEXT("失败"),
        TEXT("打开"),
        TEXT("错误码:"),
        TEXT("正在更新文件..."),
        TEXT("安装中，请稍后..."),
    },
    {
        TEXT("安裝"),
        TEXT("服務器連接斷開"),
        TEXT("已經是最新版本"),
        TEXT("安裝成功"),
        TEXT("遠帆"),
        TEXT("安裝成功"),
        TEXT("失敗"),
        TEXT("打開"),
        TEXT("錯誤碼:"),
        TEXT("正在更新文件..."),
        TEXT("安裝中，請稍後..."),
    },
    {
        TEXT("Install"),
        TEXT("Server Link Fail"),
        TEXT("The Local is latest version"),
        TEXT("Install Success"),
        TEXT("TAvrin Star"),
        TEXT("Install Success"),
        TEXT(" Fail"),
        TEXT("Open"),
        TEXT("Error Code:"),
        TEXT("Updating file..."),
        TEXT("Installing, please wait..."),
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
