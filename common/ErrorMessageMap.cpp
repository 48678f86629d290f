#include "common/ErrorMessageMap.h"

#include <iterator>

#include "common/ErrorCodes.h"
#include "common/ErrorMessageStrings.h"
#include "common/Log.h"
#include "common/SettingsFile.h"
#include "common/StringHelper.h"
#include "foundation/CStd/CStd.h"

namespace Quor::Common {

namespace {

namespace S = ErrorMessageStrings;

struct WideEntry {
    HRESULT code;
    const wchar_t* text;
};

// One locale's texts in the order they are inserted; the region text is narrow and comes last.
struct LocaleTexts {
    const char* name;  // compared without regard to case; null for the default (en_US)
    WideEntry entries[11];
    size_t count;
    const char* regionBlocked;
};

#define QUOR_LOCALE_TEXTS(P)                                                              \
    {INFO_QUOR_ERROR_BOX_TITLE, S::P##_INFO_QUOR_ERROR_BOX_TITLE},                        \
        {E_QUOR_FAILED_TO_PARSE_COMMANDLINE, S::P##_E_QUOR_FAILED_TO_PARSE_COMMANDLINE},  \
        {E_QUOR_FTP_CONNECTION_FAILED, S::P##_E_QUOR_FTP_CONNECTION_FAILED},              \
        {E_QUOR_HTTP_CONNECTION_FAILED, S::P##_E_QUOR_HTTP_CONNECTION_FAILED},            \
        {E_QUOR_HTTP_CONNECTION_LOST, S::P##_E_QUOR_HTTP_CONNECTION_LOST},                \
        {E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED, S::P##_E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED},  \
        {E_QUOR_ALREADY_RUNNING, S::P##_E_QUOR_ALREADY_RUNNING}, {E_FAIL, S::P##_E_FAIL}, \
        {E_QUOR_NO_CDN_CONNECTION, S::P##_E_QUOR_NO_CDN_CONNECTION}, {                    \
        E_FAILED_TO_START_KIV_LAUNCHER, S::P##_E_FAILED_TO_START_KIV_LAUNCHER             \
    }

const LocaleTexts EN_US = {
    nullptr,
    {QUOR_LOCALE_TEXTS(EN_US), {E_QUOR_CASE_SENSITIVE_ERROR, S::EN_US_E_QUOR_CASE_SENSITIVE_ERROR}},
    11,
    S::EN_US_E_QUOR_REGION_BLOCKED};
const LocaleTexts OTHER_LOCALES[] = {
    {"en_gb", {QUOR_LOCALE_TEXTS(EN_GB)}, 10, S::EN_GB_E_QUOR_REGION_BLOCKED},
    {"fr_fr", {QUOR_LOCALE_TEXTS(FR_FR)}, 10, S::FR_FR_E_QUOR_REGION_BLOCKED},
    {"es_es", {QUOR_LOCALE_TEXTS(ES_ES)}, 10, S::ES_ES_E_QUOR_REGION_BLOCKED},
    {"de_de", {QUOR_LOCALE_TEXTS(DE_DE)}, 10, S::DE_DE_E_QUOR_REGION_BLOCKED},
    {"pl_pl", {QUOR_LOCALE_TEXTS(PL_PL)}, 10, S::PL_PL_E_QUOR_REGION_BLOCKED},
    {"ko_kr", {QUOR_LOCALE_TEXTS(KO_KR)}, 10, S::KO_KR_E_QUOR_REGION_BLOCKED},
};

#undef QUOR_LOCALE_TEXTS

const LocaleTexts& SelectLocale(const std::string& locale) {
    for (const LocaleTexts& texts : OTHER_LOCALES)
        if (Vorn::std_stricmp(locale.c_str(), texts.name) == 0) return texts;
    return EN_US;
}

thread_local bool t_building = false;

}  // namespace

size_t ErrorMessageMap::CodeHash::operator()(HRESULT code) const {
    const int32_t x = static_cast<int32_t>(static_cast<uint32_t>(code) ^ 0xDEADBEEFu);
    const int32_t q = x / 127773;
    const int32_t r = x % 127773;
    int64_t h = 16807LL * r - 2836LL * q;
    if (h < 0) h += 0x7FFFFFFF;
    return static_cast<size_t>(static_cast<uint32_t>(h));
}

void ErrorMessageMap::GetLocale(std::string& locale) {
    locale = "en_US";
    HRESULT hr = S_OK;
    SettingsFile::SettingsFile settings("locale.cfg", hr);
    if (SUCCEEDED(hr)) hr = settings.Load();
    if (SUCCEEDED(hr)) locale = settings.Get("locale");
}

ErrorMessageMap::ErrorMessageMap() : m_messages(100) {
    struct BuildingFlag {
        BuildingFlag() { t_building = true; }
        ~BuildingFlag() { t_building = false; }
    } building;

    std::string locale;
    GetLocale(locale);
    QUOR_LOG_TAG(Log::DEBUG, "Quor::Common::ErrorMessageMap::ErrorMessageMap()", "locale: %s",
                 locale.c_str());

    const LocaleTexts& texts = SelectLocale(locale);
    for (size_t i = 0; i < texts.count; ++i) {
        std::string text;
        StringHelper::ConvertToMultiByte(texts.entries[i].text, text);
        m_messages.emplace(texts.entries[i].code, std::move(text));
    }
    m_messages.emplace(E_QUOR_REGION_BLOCKED, texts.regionBlocked);
}

ErrorMessageMap& ErrorMessageMap::GetErrorMessageMap() {
    // Never destroyed: a thread that still runs while the process exits (threads that do not stop
    // in time are detached) may still log an error text.
    static ErrorMessageMap* map = new ErrorMessageMap;
    return *map;
}

const ErrorMessageMap* ErrorMessageMap::TryGetErrorMessageMap() {
    if (t_building) return nullptr;
    return &GetErrorMessageMap();
}

const std::string* ErrorMessageMap::GetErrorMessage(HRESULT code) const {
    auto it = m_messages.find(code);
    return it == m_messages.end() ? nullptr : &it->second;
}

}  // namespace Quor::Common
