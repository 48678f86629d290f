#pragma once
// The texts of the system's result codes in every locale, as wide strings (converted to UTF-8 when
// the error message map is built). The text of E_QUOR_REGION_BLOCKED is a narrow string in every
// locale. Only en_US has a text for E_QUOR_CASE_SENSITIVE_ERROR. Double blanks after full stops
// are part of the texts. Read-only data.

namespace Quor::Common::ErrorMessageStrings {

// ---- en_US (the default) ----
inline constexpr wchar_t EN_US_INFO_QUOR_ERROR_BOX_TITLE[] = L"Quor Error";
inline constexpr wchar_t EN_US_E_QUOR_FAILED_TO_PARSE_COMMANDLINE[] =
    L"Could not parse commandline. Please check for invalid parameters.";
inline constexpr wchar_t EN_US_E_QUOR_FTP_CONNECTION_FAILED[] =
    L"Could not connect to the FTP server.  Please check that your Internet connection is enabled and "
    L"that your firewall is not blocking access.";
inline constexpr wchar_t EN_US_E_QUOR_HTTP_CONNECTION_FAILED[] =
    L"Could not connect to the HTTP server.  Please check that your Internet connection is enabled and "
    L"that your firewall is not blocking access.";
inline constexpr wchar_t EN_US_E_QUOR_HTTP_CONNECTION_LOST[] =
    L"Connection lost to HTTP server.  Please check that your Internet connection is stable, and that "
    L"HTTP connections are not being blocked by a firewall.";
inline constexpr wchar_t EN_US_E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED[] =
    L"Failed to download or extract all required update files after several attempts. Please ensure "
    L"that you have a stable Internet connection, and that you have sufficient hard disk space.";
inline constexpr wchar_t EN_US_E_QUOR_ALREADY_RUNNING[] =
    L"Another instance of the launcher is running.  Do you want to terminate it?";
inline constexpr char EN_US_E_QUOR_REGION_BLOCKED[] =
    "Host machine is operating in a region which has been blocked.  Quor is not available in your "
    "region.";
inline constexpr wchar_t EN_US_E_FAIL[] =
    L"Unspecified error occurred. Please check the logs for more information.";
inline constexpr wchar_t EN_US_E_QUOR_NO_CDN_CONNECTION[] =
    L"Failed to check for updates. Please check that your Internet connection is enabled and that your "
    L"firewall is not blocking access.\n\nIf you still get this message, patching may be temporarily "
    L"unavailable. Try a custom game to make sure you have the latest version.";
inline constexpr wchar_t EN_US_E_FAILED_TO_START_KIV_LAUNCHER[] =
    L"We were unable to locate a mandatory file needed to run the Halvex patcher. This error may occur "
    L"if the game was installed to a directory with non-English characters in the name.  We recommend "
    L"reinstalling the game to a directory containing only English language characters. If you are "
    L"still experiencing issues, please contact Player Support.";
inline constexpr wchar_t EN_US_E_QUOR_CASE_SENSITIVE_ERROR[] =
    L"Patcher has detected that the local file system is case sensitive. Kindrel must run on a "
    L"non-case-sensitive file system.";

// ---- en_gb ----
inline constexpr const wchar_t* EN_GB_INFO_QUOR_ERROR_BOX_TITLE = EN_US_INFO_QUOR_ERROR_BOX_TITLE;
inline constexpr const wchar_t* EN_GB_E_QUOR_FAILED_TO_PARSE_COMMANDLINE =
    EN_US_E_QUOR_FAILED_TO_PARSE_COMMANDLINE;
inline constexpr const wchar_t* EN_GB_E_QUOR_FTP_CONNECTION_FAILED = EN_US_E_QUOR_FTP_CONNECTION_FAILED;
inline constexpr const wchar_t* EN_GB_E_QUOR_HTTP_CONNECTION_FAILED = EN_US_E_QUOR_HTTP_CONNECTION_FAILED;
inline constexpr const wchar_t* EN_GB_E_QUOR_HTTP_CONNECTION_LOST = EN_US_E_QUOR_HTTP_CONNECTION_LOST;
inline constexpr const wchar_t* EN_GB_E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED =
    EN_US_E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED;
inline constexpr const wchar_t* EN_GB_E_QUOR_ALREADY_RUNNING = EN_US_E_QUOR_ALREADY_RUNNING;
inline constexpr char EN_GB_E_QUOR_REGION_BLOCKED[] =
    "en_gb Host machine is operating in a region which has been blocked.  Quor is not available in "
    "your region.";
inline constexpr const wchar_t* EN_GB_E_FAIL = EN_US_E_FAIL;
inline constexpr wchar_t EN_GB_E_QUOR_NO_CDN_CONNECTION[] =
    L"EN_GB Failed to check for updates. Please check that your Internet connection is enabled and that "
    L"your firewall is not blocking access.";
inline constexpr const wchar_t* EN_GB_E_FAILED_TO_START_KIV_LAUNCHER = EN_US_E_FAILED_TO_START_KIV_LAUNCHER;

// ---- fr_fr ----
inline constexpr wchar_t FR_FR_INFO_QUOR_ERROR_BOX_TITLE[] = L"Erreur Quor";
inline constexpr wchar_t FR_FR_E_QUOR_FAILED_TO_PARSE_COMMANDLINE[] =
    L"Impossible d'analyser la ligne de commande. Veuillez vérifier les paramètres.";
inline constexpr wchar_t FR_FR_E_QUOR_FTP_CONNECTION_FAILED[] =
    L"Impossible de se connecter au serveur FTP.  Veuillez vérifier que votre connexion Internet est "
    L"active et que votre pare-feu ne bloque pas l'accès.";
inline constexpr wchar_t FR_FR_E_QUOR_HTTP_CONNECTION_FAILED[] =
    L"Impossible de se connecter au serveur HTTP.  Veuillez vérifier que votre connexion Internet est "
    L"active et que votre pare-feu ne bloque pas l'accès.";
inline constexpr wchar_t FR_FR_E_QUOR_HTTP_CONNECTION_LOST[] =
    L"La connexion au serveur HTTP a été perdue.  Veuillez vérifier que votre connexion Internet est "
    L"stable et que les connexions HTTP ne sont pas bloquées par un pare-feu.";
inline constexpr wchar_t FR_FR_E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED[] =
    L"Impossible de télécharger ou d'extraire tous les fichiers de mise à jour nécessaires après "
    L"plusieurs tentatives. Veuillez vérifier que votre connexion Internet est stable et que vous "
    L"disposez d'un espace disque suffisant.";
inline constexpr wchar_t FR_FR_E_QUOR_ALREADY_RUNNING[] =
    L"Une autre instance du jeu est déjà en cours d'utilisation. Voulez-vous y mettre fin ?";
inline constexpr char FR_FR_E_QUOR_REGION_BLOCKED[] =
    "fr_fr Host machine is operating in a region which has been blocked.  Quor is not available in "
    "your region.";
inline constexpr wchar_t FR_FR_E_FAIL[] =
    L"Une erreur inconnue s'est produite. Veuillez consulter les journaux pour plus d'informations.";
inline constexpr wchar_t FR_FR_E_QUOR_NO_CDN_CONNECTION[] =
    L"ES_ES Impossible de rechercher les mises à jour. Veuillez vérifier que votre connexion Internet "
    L"est active et que votre pare-feu ne bloque pas l'accès.";
inline constexpr wchar_t FR_FR_E_FAILED_TO_START_KIV_LAUNCHER[] =
    L"Un fichier indispensable au fonctionnement du patcher Halvex est introuvable. Cette erreur peut "
    L"se produire si le jeu a été installé dans un dossier dont le nom contient des caractères non "
    L"anglais.  Nous vous recommandons de réinstaller le jeu dans un dossier dont le nom ne contient "
    L"que des caractères anglais. Si le problème persiste, veuillez contacter l'assistance aux joueurs.";

// ---- es_es ----
inline constexpr wchar_t ES_ES_INFO_QUOR_ERROR_BOX_TITLE[] = L"Error de Quor";
inline constexpr wchar_t ES_ES_E_QUOR_FAILED_TO_PARSE_COMMANDLINE[] =
    L"No se pudo analizar la línea de comandos. Comprueba si hay parámetros no válidos.";
inline constexpr wchar_t ES_ES_E_QUOR_FTP_CONNECTION_FAILED[] =
    L"No se pudo conectar con el servidor FTP.  Comprueba que tu conexión a Internet está activada y "
    L"que tu cortafuegos no bloquea el acceso.";
inline constexpr wchar_t ES_ES_E_QUOR_HTTP_CONNECTION_FAILED[] =
    L"No se pudo conectar con el servidor HTTP.  Comprueba que tu conexión a Internet está activada y "
    L"que tu cortafuegos no bloquea el acceso.";
inline constexpr wchar_t ES_ES_E_QUOR_HTTP_CONNECTION_LOST[] =
    L"Se ha perdido la conexión con el servidor HTTP.  Comprueba que tu conexión a Internet es estable "
    L"y que ningún cortafuegos bloquea las conexiones HTTP.";
inline constexpr wchar_t ES_ES_E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED[] =
    L"No se pudieron descargar o extraer todos los archivos de actualización necesarios tras varios "
    L"intentos. Asegúrate de tener una conexión a Internet estable y suficiente espacio en el disco "
    L"duro.";
inline constexpr wchar_t ES_ES_E_QUOR_ALREADY_RUNNING[] =
    L"Hay otro proceso de la aplicación de inicio en ejecución. ¿Quieres terminarlo?";
inline constexpr char ES_ES_E_QUOR_REGION_BLOCKED[] =
    "es_es Host machine is operating in a region which has been blocked.  Quor is not available in "
    "your region.";
inline constexpr wchar_t ES_ES_E_FAIL[] =
    L"Se ha producido un error no especificado. Consulta los registros para obtener más información.";
inline constexpr wchar_t ES_ES_E_QUOR_NO_CDN_CONNECTION[] =
    L"ES_ES No se pudo comprobar si hay actualizaciones. Comprueba que tu conexión a Internet está "
    L"activada y que tu cortafuegos no bloquea el acceso.";
inline constexpr wchar_t ES_ES_E_FAILED_TO_START_KIV_LAUNCHER[] =
    L"No se encuentra un archivo necesario para ejecutar el actualizador de Halvex. Este error puede "
    L"producirse si el juego se instaló en una carpeta cuyo nombre contiene caracteres que no son del "
    L"inglés.  Te recomendamos volver a instalar el juego en una carpeta cuyo nombre contenga solo "
    L"caracteres del inglés. Si el problema continúa, ponte en contacto con el servicio de asistencia "
    L"al jugador.";

// ---- de_de ----
inline constexpr wchar_t DE_DE_INFO_QUOR_ERROR_BOX_TITLE[] = L"Patcher-Fehler";
inline constexpr wchar_t DE_DE_E_QUOR_FAILED_TO_PARSE_COMMANDLINE[] =
    L"Die Befehlszeile konnte nicht verarbeitet werden. Bitte überprüfe die Parameter.";
inline constexpr wchar_t DE_DE_E_QUOR_FTP_CONNECTION_FAILED[] =
    L"Es konnte keine Verbindung zum FTP-Server hergestellt werden.  Bitte überprüfe, ob deine "
    L"Internetverbindung aktiv ist und deine Firewall den Zugriff nicht blockiert.";
inline constexpr wchar_t DE_DE_E_QUOR_HTTP_CONNECTION_FAILED[] =
    L"Es konnte keine Verbindung zum HTTP-Server hergestellt werden.  Bitte überprüfe, ob deine "
    L"Internetverbindung aktiv ist und deine Firewall den Zugriff nicht blockiert.";
inline constexpr wchar_t DE_DE_E_QUOR_HTTP_CONNECTION_LOST[] =
    L"Die Verbindung zum HTTP-Server wurde unterbrochen.  Bitte überprüfe, ob deine Internetverbindung "
    L"stabil ist und HTTP-Verbindungen nicht von einer Firewall blockiert werden.";
inline constexpr wchar_t DE_DE_E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED[] =
    L"Auch nach mehreren Versuchen konnten nicht alle benötigten Aktualisierungsdateien heruntergeladen "
    L"oder entpackt werden. Bitte stelle sicher, dass deine Internetverbindung stabil ist und auf der "
    L"Festplatte genügend Speicherplatz frei ist.";
inline constexpr wchar_t DE_DE_E_QUOR_ALREADY_RUNNING[] =
    L"Das Startprogramm läuft bereits. Soll es beendet werden?";
inline constexpr char DE_DE_E_QUOR_REGION_BLOCKED[] =
    "de_de Host machine is operating in a region which has been blocked.  Quor is not available in "
    "your region.";
inline constexpr wchar_t DE_DE_E_FAIL[] =
    L"Ein unbekannter Fehler ist aufgetreten. Weitere Informationen findest du in den Protokolldateien.";
inline constexpr wchar_t DE_DE_E_QUOR_NO_CDN_CONNECTION[] =
    L"ES_ES Die Suche nach Aktualisierungen ist fehlgeschlagen. Bitte überprüfe, ob deine "
    L"Internetverbindung aktiv ist und deine Firewall den Zugriff nicht blockiert.";
inline constexpr wchar_t DE_DE_E_FAILED_TO_START_KIV_LAUNCHER[] =
    L"Eine für den Halvex-Patcher benötigte Datei wurde nicht gefunden. Dieser Fehler kann auftreten, "
    L"wenn das Spiel in einem Verzeichnis installiert wurde, dessen Name nicht-englische Zeichen "
    L"enthält.  Wir empfehlen, das Spiel in einem Verzeichnis neu zu installieren, dessen Name nur "
    L"englische Zeichen enthält. Falls das Problem weiterhin besteht, wende dich bitte an den "
    L"Spielersupport.";

// ---- pl_pl ----
inline constexpr wchar_t PL_PL_INFO_QUOR_ERROR_BOX_TITLE[] = L"Błąd Quor";
inline constexpr wchar_t PL_PL_E_QUOR_FAILED_TO_PARSE_COMMANDLINE[] =
    L"Nie można przetworzyć wiersza poleceń. Sprawdź, czy parametry są prawidłowe.";
inline constexpr wchar_t PL_PL_E_QUOR_FTP_CONNECTION_FAILED[] =
    L"Nie można połączyć się z serwerem FTP.  Sprawdź, czy połączenie z Internetem jest włączone i czy "
    L"zapora sieciowa nie blokuje dostępu.";
inline constexpr wchar_t PL_PL_E_QUOR_HTTP_CONNECTION_FAILED[] =
    L"Nie można połączyć się z serwerem HTTP.  Sprawdź, czy połączenie z Internetem jest włączone i czy "
    L"zapora sieciowa nie blokuje dostępu.";
inline constexpr wchar_t PL_PL_E_QUOR_HTTP_CONNECTION_LOST[] =
    L"Utracono połączenie z serwerem HTTP.  Sprawdź, czy połączenie z Internetem jest stabilne i czy "
    L"zapora sieciowa nie blokuje połączeń HTTP.";
inline constexpr wchar_t PL_PL_E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED[] =
    L"Mimo kilku prób nie udało się pobrać lub rozpakować wszystkich wymaganych plików aktualizacji. "
    L"Upewnij się, że połączenie z Internetem jest stabilne i że na dysku twardym jest wystarczająco "
    L"dużo miejsca.";
inline constexpr wchar_t PL_PL_E_QUOR_ALREADY_RUNNING[] =
    L"Działa już inna kopia programu startowego. Czy chcesz ją zamknąć?";
inline constexpr char PL_PL_E_QUOR_REGION_BLOCKED[] =
    "pl_pl Host machine is operating in a region which has been blocked.  Quor is not available in "
    "your region.";
inline constexpr wchar_t PL_PL_E_FAIL[] =
    L"Wystąpił nieokreślony błąd. Więcej informacji znajdziesz w dziennikach.";
inline constexpr wchar_t PL_PL_E_QUOR_NO_CDN_CONNECTION[] =
    L"ES_ES Nie udało się sprawdzić dostępności aktualizacji. Sprawdź, czy połączenie z Internetem jest "
    L"włączone i czy zapora sieciowa nie blokuje dostępu.";
inline constexpr wchar_t PL_PL_E_FAILED_TO_START_KIV_LAUNCHER[] =
    L"Nie znaleziono pliku niezbędnego do uruchomienia programu aktualizującego Halvex. Ten błąd może "
    L"wystąpić, jeśli gra została zainstalowana w katalogu, którego nazwa zawiera znaki spoza alfabetu "
    L"angielskiego.  Zalecamy ponowne zainstalowanie gry w katalogu, którego nazwa zawiera wyłącznie "
    L"znaki alfabetu angielskiego. Jeśli problem nie ustąpi, skontaktuj się z pomocą techniczną dla "
    L"graczy.";

// ---- ko_kr ----
inline constexpr const wchar_t* KO_KR_INFO_QUOR_ERROR_BOX_TITLE = EN_US_INFO_QUOR_ERROR_BOX_TITLE;
inline constexpr wchar_t KO_KR_E_QUOR_FAILED_TO_PARSE_COMMANDLINE[] =
    L"명령줄을 분석할 수 없습니다. 잘못된 매개 변수가 있는지 확인하십시오.";
inline constexpr wchar_t KO_KR_E_QUOR_FTP_CONNECTION_FAILED[] =
    L"FTP 서버에 연결할 수 없습니다.  인터넷 연결이 활성화되어 있고 방화벽이 접근을 차단하고 있지 않은지 "
    L"확인하십시오.";
inline constexpr wchar_t KO_KR_E_QUOR_HTTP_CONNECTION_FAILED[] =
    L"HTTP 서버에 연결할 수 없습니다.  인터넷 연결이 활성화되어 있고 방화벽이 접근을 차단하고 있지 않은지 "
    L"확인하십시오.";
inline constexpr wchar_t KO_KR_E_QUOR_HTTP_CONNECTION_LOST[] =
    L"HTTP 서버와의 연결이 끊어졌습니다.  인터넷 연결이 안정적인지, 방화벽이 HTTP 연결을 차단하고 있지 "
    L"않은지 확인하십시오.";
inline constexpr wchar_t KO_KR_E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED[] =
    L"여러 번 시도했지만 필요한 업데이트 파일을 모두 다운로드하거나 압축을 풀지 못했습니다. 인터넷 연결이 "
    L"안정적이고 하드 디스크 공간이 충분한지 확인하십시오.";
inline constexpr wchar_t KO_KR_E_QUOR_ALREADY_RUNNING[] =
    L"다른 런처가 실행 중입니다. 해당 런처를 종료하시겠습니까?";
inline constexpr char KO_KR_E_QUOR_REGION_BLOCKED[] =
    "ko_kr Host machine is operating in a region which has been blocked.  Quor is not available in "
    "your region.";
inline constexpr wchar_t KO_KR_E_FAIL[] =
    L"알 수 없는 오류가 발생했습니다. 자세한 내용은 로그를 확인하십시오.";
inline constexpr wchar_t KO_KR_E_QUOR_NO_CDN_CONNECTION[] =
    L"업데이트를 확인하지 못했습니다. 인터넷 연결이 활성화되어 있고 방화벽이 접근을 차단하고 있지 않은지 "
    L"확인하십시오.\n\n이 메시지가 계속 표시되면 일시적으로 패치를 사용할 수 없는 상태일 수 있습니다. "
    L"사용자 지정 게임을 실행하여 최신 버전인지 확인하십시오.";
inline constexpr wchar_t KO_KR_E_FAILED_TO_START_KIV_LAUNCHER[] =
    L"한국어. Halvex 패처를 실행하는 데 필요한 파일을 찾을 수 없습니다. 이름에 영어가 아닌 문자가 포함된 "
    L"폴더에 게임을 설치한 경우 이 오류가 발생할 수 있습니다.  이름이 영어 문자로만 된 폴더에 게임을 다시 "
    L"설치하는 것을 권장합니다. 문제가 계속되면 플레이어 지원팀에 문의하십시오.";

}  // namespace Quor::Common::ErrorMessageStrings
