#include "oss/service_error.h"

#include <tinyxml2.h>

#include <cstdio>
#include <ctime>

#include "calendar_time.h"
#include "oss/header_collection.h"

namespace oss {

namespace {

bool StartsWith(const char* text, const char* prefix) {
    return text != nullptr && std::string(text).rfind(prefix, 0) == 0;
}

std::string ChildText(const tinyxml2::XMLElement* parent, const char* name) {
    const tinyxml2::XMLElement* child = parent->FirstChildElement(name);
    const char* text = child != nullptr ? child->GetText() : nullptr;
    return text != nullptr ? text : "";
}

// Parses with entities processed and white space kept.
struct XmlDocument {
    explicit XmlDocument(const std::string& text) : document(true, tinyxml2::PRESERVE_WHITESPACE) {
        document.Parse(text.data(), text.size());
    }
    // The root element when it is an error document, else null.
    const tinyxml2::XMLElement* errorRoot() const {
        const tinyxml2::XMLElement* root = document.Error() ? nullptr : document.RootElement();
        return root != nullptr && StartsWith(root->Name(), "Error") ? root : nullptr;
    }
    tinyxml2::XMLDocument document;
};

}  // namespace

bool IsServerErrorStatus(int32_t status) {
    return status == 203 || (status >= 300 && status <= 599);
}

ServiceError MakeServiceError(const AttemptError& attempt) {
    ServiceError error;
    if (IsServerErrorStatus(attempt.status) && !attempt.message.empty()) {
        XmlDocument xml(attempt.message);
        if (xml.document.Error()) {
            error.code =
                "ParseXMLError:" + std::to_string(static_cast<int>(xml.document.ErrorID()));
            error.message = tinyxml2::XMLDocument::ErrorIDToName(xml.document.ErrorID());
        } else if (const tinyxml2::XMLElement* root = xml.errorRoot()) {
            error.code = ChildText(root, "Code");
            error.message = ChildText(root, "Message");
            error.requestId = ChildText(root, "RequestId");
            error.hostId = ChildText(root, "HostId");
        } else {
            error.code = "ParseXMLError";
            error.message = "Xml format invalid, root node name is not Error. the content is:\n" +
                            attempt.message;
        }
    } else {
        error.code = attempt.code;
        error.message = attempt.message;
    }
    if (error.requestId.empty()) {
        error.requestId = HeaderValue(attempt.headers, "x-oss-request-id");
    }
    return error;
}

int64_t UtcToEpochSeconds(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, fraction = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%dZ", &year, &month, &day, &hour,
                    &minute, &second, &fraction) != 7) {
        return -1;
    }
    // The conversion would quietly carry a month 13 or an hour 25 into the next unit.
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60) {
        return -1;
    }
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    const time_t seconds = FromUtcTime(time);
    return seconds == static_cast<time_t>(-1) ? -1 : static_cast<int64_t>(seconds);
}

int64_t ServerTimeOfSkewError(const std::string& document) {
    XmlDocument xml(document);
    const tinyxml2::XMLElement* root = xml.errorRoot();
    if (root == nullptr) {
        return -1;
    }
    return UtcToEpochSeconds(ChildText(root, "ServerTime"));
}

}  // namespace oss
