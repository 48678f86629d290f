#pragma once
// The system's own result codes. Each has a localized text in the error message map
// (ErrorMessageMap); INFO_QUOR_ERROR_BOX_TITLE is the caption of the message box that shows them.
#include "foundation/Types.h"

constexpr HRESULT INFO_QUOR_ERROR_BOX_TITLE = static_cast<HRESULT>(0x41E90001u);
constexpr HRESULT E_QUOR_FAILED_TO_PARSE_COMMANDLINE = static_cast<HRESULT>(0xC1E90002u);
constexpr HRESULT E_QUOR_FTP_CONNECTION_FAILED = static_cast<HRESULT>(0xC1E90003u);
constexpr HRESULT E_QUOR_HTTP_CONNECTION_FAILED = static_cast<HRESULT>(0xC1E90004u);
constexpr HRESULT E_QUOR_HTTP_CONNECTION_LOST = static_cast<HRESULT>(0xC1E90005u);
constexpr HRESULT E_QUOR_DOWNLOAD_AND_EXTRACT_FAILED = static_cast<HRESULT>(0xC1E90006u);
constexpr HRESULT E_QUOR_ALREADY_RUNNING = static_cast<HRESULT>(0xC1E90007u);
constexpr HRESULT E_QUOR_REGION_BLOCKED = static_cast<HRESULT>(0xC1E90008u);
constexpr HRESULT E_QUOR_NO_CDN_CONNECTION = static_cast<HRESULT>(0xC1E90009u);
constexpr HRESULT E_FAILED_TO_START_KIV_LAUNCHER = static_cast<HRESULT>(0xC1E9000Au);
constexpr HRESULT E_QUOR_CASE_SENSITIVE_ERROR = static_cast<HRESULT>(0xC1E9000Cu);
