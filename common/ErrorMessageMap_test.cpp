// Each test case runs in its own process, so every case builds the map afresh from its own
// locale.cfg.
#include "common/ErrorMessageMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "common/ErrorCodes.h"
#include "common/ErrorHelper.h"
#include "common/Log.h"
#include "tests/kit/TempDir.h"

using Quor::Common::ErrorHelper;
using Quor::Common::ErrorMessageMap;

namespace {

const char* const EN_US_FAIL = "Unspecified error occurred. Please check the logs for more information.";
const char* const EN_US_REGION =
    "Host machine is operating in a region which has been blocked.  Quor is not available in your region.";

std::string Text(HRESULT code) {
    const std::string* text = ErrorMessageMap::GetErrorMessageMap().GetErrorMessage(code);
    return text ? *text : "<none>";
}

const HRESULT ALL_CODES[] = {
    INFO_QUOR_ERROR_BOX_TITLE,
    E_QUOR_FAILED_TO_PARSE_COMMANDLINE,
    E_QUOR_FTP_CONNECTION_FAILED,
    E_QUOR_HTTP_CONNECTION_FAILED,
    E_QUOR_HTTP_CONNECTION_LOST,
    E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED,
    E_QUOR_ALREADY_RUNNING,
    E_QUOR_REGION_BLOCKED,
    E_FAIL,
    E_QUOR_NO_CDN_CONNECTION,
    E_FAILED_TO_START_KIV_LAUNCHER,
};

}  // namespace

TEST(ErrorMessageMap, WithoutLocaleFileTheLocaleIsEmptyAndTheEnglishTextsAreChosen) {
    QuorTest::QuorTree tree;
    Quor::Log::SetLogLevel(Quor::Log::DEBUG);
    testing::internal::CaptureStdout();
    std::string locale = "x";
    ErrorMessageMap::GetLocale(locale);
    EXPECT_EQ(locale, "");
    Text(E_FAIL);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Quor::Common::ErrorMessageMap::ErrorMessageMap(): locale: \n"), std::string::npos)
        << out;

    EXPECT_EQ(Text(INFO_QUOR_ERROR_BOX_TITLE), "Quor Error");
    EXPECT_EQ(Text(E_FAIL), EN_US_FAIL);
    EXPECT_EQ(Text(E_QUOR_ALREADY_RUNNING),
              "Another instance of the launcher is running.  Do you want to terminate it?");
    EXPECT_EQ(Text(E_QUOR_REGION_BLOCKED), EN_US_REGION);
    EXPECT_EQ(
        Text(E_QUOR_NO_CDN_CONNECTION),
        "Failed to check for updates. Please check that your Internet connection is enabled and that your "
        "firewall is not blocking access.\n\nIf you still get this message, patching may be temporarily "
        "unavailable. Try a custom game to make sure you have the latest version.");
    EXPECT_EQ(Text(E_QUOR_CASE_SENSITIVE_ERROR),
              "Patcher has detected that the local file system is case sensitive. Kindrel must run on a "
              "non-case-sensitive file system.");
    for (HRESULT code : ALL_CODES) EXPECT_NE(Text(code), "<none>") << std::hex << code;
    EXPECT_EQ(ErrorMessageMap::GetErrorMessageMap().GetErrorMessage(static_cast<HRESULT>(0xC1E9000Bu)),
              nullptr);
}

TEST(ErrorMessageMap, LocaleInCapitalsSelectsTheFrenchTexts) {
    QuorTest::QuorTree tree;
    QuorTest::WriteFile(tree.root() + "system/locale.cfg", "# the user's language\nlocale = FR_FR\n");
    EXPECT_EQ(Text(INFO_QUOR_ERROR_BOX_TITLE), "Erreur Quor");
    EXPECT_EQ(Text(E_QUOR_ALREADY_RUNNING),
              "Une autre instance du jeu est déjà en cours d'utilisation. Voulez-vous y mettre fin ?");
    EXPECT_EQ(Text(E_QUOR_REGION_BLOCKED), std::string("fr_fr ") + EN_US_REGION);
    // No French text for the case-sensitivity code: the French text of E_FAIL stands in.
    EXPECT_EQ(Text(E_QUOR_CASE_SENSITIVE_ERROR), "<none>");
    std::string message;
    EXPECT_EQ(ErrorHelper::GetWindowsMessage(static_cast<DWORD>(E_QUOR_CASE_SENSITIVE_ERROR), message), S_OK);
    EXPECT_EQ(
        message,
        "Une erreur inconnue s'est produite. Veuillez consulter les journaux pour plus d'informations.");
}

// Every locale: its quoted texts, the number of its entries, and the region text pattern.
class EveryLocale : public testing::TestWithParam<const char*> {};

TEST_P(EveryLocale, HasItsTextsAndOnlyItsTexts) {
    const std::string locale = GetParam();
    QuorTest::QuorTree tree;
    QuorTest::WriteFile(tree.root() + "system/locale.cfg", "locale = " + locale + "\n");
    struct Expected {
        const char* title;
        const char* alreadyRunning;
        const char* cdnPrefix;
    };
    const Expected expected =
        locale == "en_gb"
            ? Expected{"Quor Error",
                       "Another instance of the launcher is running.  Do you want to terminate it?",
                       "EN_GB Failed to check for updates."}
        : locale == "fr_fr" ? Expected{"Erreur Quor",
                                       "Une autre instance du jeu est déjà en cours d'utilisation. "
                                       "Voulez-vous y mettre fin ?",
                                       "ES_ES "}
        : locale == "es_es"
            ? Expected{"Error de Quor",
                       "Hay otro proceso de la aplicación de inicio en ejecución. ¿Quieres terminarlo?",
                       "ES_ES "}
        : locale == "de_de"
            ? Expected{"Patcher-Fehler", "Das Startprogramm läuft bereits. Soll es beendet werden?", "ES_ES "}
        : locale == "pl_pl"
            ? Expected{"Błąd Quor", "Działa już inna kopia programu startowego. Czy chcesz ją zamknąć?",
                       "ES_ES "}
        : locale == "ko_kr"
            ? Expected{"Quor Error", "다른 런처가 실행 중입니다. 해당 런처를 종료하시겠습니까?", ""}
            : Expected{"Quor Error",
                       "Another instance of the launcher is running.  Do you want to terminate it?",
                       "Failed to check for updates."};
    EXPECT_EQ(Text(INFO_QUOR_ERROR_BOX_TITLE), expected.title);
    EXPECT_EQ(Text(E_QUOR_ALREADY_RUNNING), expected.alreadyRunning);
    EXPECT_EQ(Text(E_QUOR_NO_CDN_CONNECTION).rfind(expected.cdnPrefix, 0), 0u)
        << Text(E_QUOR_NO_CDN_CONNECTION);
    for (HRESULT code : ALL_CODES) EXPECT_NE(Text(code), "<none>") << std::hex << code;

    const bool english = locale == "en_US" || locale == "en_AU" || locale == "de" || locale.empty();
    EXPECT_EQ(Text(E_QUOR_CASE_SENSITIVE_ERROR) != "<none>", english);
    EXPECT_EQ(Text(E_QUOR_REGION_BLOCKED), english ? std::string(EN_US_REGION) : locale + " " + EN_US_REGION);
    if (locale == "ko_kr") {
        EXPECT_EQ(Text(E_FAILED_TO_START_KIV_LAUNCHER).rfind("한국어. ", 0), 0u);
    }
    if (locale == "en_gb") {
        EXPECT_EQ(Text(E_FAIL), EN_US_FAIL);
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, EveryLocale,
                         testing::Values("en_US", "en_gb", "fr_fr", "es_es", "de_de", "pl_pl", "ko_kr",
                                         "en_AU", "de"),
                         [](const testing::TestParamInfo<const char*>& locale) {
                             return std::string(locale.param);
                         });

TEST(ErrorMessageMap, ALocaleFileThatCannotBeReadSelectsEnglishWithoutRecursingIntoTheMap) {
    QuorTest::QuorTree tree;
    // A folder where the file is expected: it "exists", opens, but reading it fails, and the
    // error's text is asked for while the map is still being built.
    QuorTest::MakeDirs(tree.root() + "system/locale.cfg");
    std::string locale;
    ErrorMessageMap::GetLocale(locale);
    EXPECT_EQ(locale, "en_US");
    EXPECT_EQ(Text(INFO_QUOR_ERROR_BOX_TITLE), "Quor Error");
    EXPECT_EQ(Text(E_QUOR_CASE_SENSITIVE_ERROR).empty(), false);
}

TEST(ErrorHelper, GetWindowsMessageFallsBackToTheFailureTextOnlyForAnEmptyMessage) {
    QuorTest::QuorTree tree;
    std::string message;
    ErrorHelper::GetWindowsMessage(static_cast<DWORD>(E_QUOR_HTTP_CONNECTION_LOST), message);
    EXPECT_EQ(message.rfind("Connection lost to HTTP server.  ", 0), 0u);
    message.clear();
    ErrorHelper::GetWindowsMessage(12345, message);
    EXPECT_EQ(message, EN_US_FAIL);
    message = "kept";
    ErrorHelper::GetWindowsMessage(12345, message);
    EXPECT_EQ(message, "kept");
}

TEST(ErrorHelper, GetLastErrorCodeAndMessageTurnsErrnoIntoAFailure) {
    QuorTest::QuorTree tree;
    struct {
        int error;
        HRESULT codeBefore;
        const char* messageBefore;
        HRESULT code;
        std::string message;
    } cases[] = {
        {ENOENT, 0, "", E_FAIL, EN_US_FAIL},
        {ENOENT, 0, "earlier", E_FAIL, "earlier"},
        {0, 0, "", 0, ""},
        {0, 5, "", E_FAIL, ""},
        {0, E_ABORT, "x", E_ABORT, "x"},
        {12029, 0, "", E_FAIL, "The attempt to connect to the server failed."},
        {12163, 0, "", E_FAIL, "The Internet connection has been lost."},
    };
    for (const auto& c : cases) {
        HRESULT code = c.codeBefore;
        std::string message = c.messageBefore;
        errno = c.error;
        EXPECT_EQ(ErrorHelper::GetLastErrorCodeAndMessage(code, message), S_OK);
        EXPECT_EQ(code, c.code) << "errno " << c.error;
        EXPECT_EQ(message, c.message) << "errno " << c.error;
    }
}

TEST(ErrorHelper, TheInternetErrorTableHoldsTheKnownNumbersOnce) {
    const auto& table = ErrorHelper::ERROR_CODE_TO_MESSAGE;
    EXPECT_EQ(std::size(table), 92u);
    EXPECT_TRUE(std::is_sorted(std::begin(table), std::end(table),
                               [](const auto& a, const auto& b) { return a.code <= b.code; }));
    auto text = [&](DWORD code) -> std::string {
        for (const auto& e : table)
            if (e.code == code) return e.text;
        return "<none>";
    };
    EXPECT_EQ(text(12035), "<none>");
    EXPECT_EQ(text(12051), "<none>");
    EXPECT_EQ(text(12002), "The request has timed out.");
    EXPECT_EQ(text(12007), "The server name could not be resolved.");
    EXPECT_EQ(text(12030), "The connection with the server has been terminated.");
    EXPECT_EQ(text(12031), "The connection with the server has been reset.");
    EXPECT_EQ(text(12165), "The designated proxy server cannot be reached.");
    EXPECT_EQ(text(12056), "ERROR_INTERNET_SEC_CERT_NO_REV");
    EXPECT_EQ(text(12057), "ERROR_INTERNET_SEC_CERT_REV_FAILED");
    for (DWORD first : {12001u, 12036u, 12052u, 12110u, 12130u, 12150u}) EXPECT_NE(text(first), "<none>");
    for (DWORD last : {12034u, 12050u, 12057u, 12112u, 12138u, 12174u}) EXPECT_NE(text(last), "<none>");
}

TEST(ErrorHelper, LogGetLastErrorLogsTheLocalizedTextAndReturnsTheCode) {
    QuorTest::QuorTree tree;
    QuorTest::WriteFile(tree.root() + "system/locale.cfg", "locale=de_de\n");
    testing::internal::CaptureStderr();
    errno = ENOENT;
    EXPECT_EQ(Quor::Log::Internal::LogGetLastError("HRESULT Caller()"), E_FAIL);
    errno = 0;
    EXPECT_EQ(Quor::Log::Internal::LogGetLastError("HRESULT Caller()"), S_OK);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("HRESULT Caller(): Ein unbekannter Fehler ist aufgetreten."), std::string::npos)
        << err;
}
