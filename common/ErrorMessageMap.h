#pragma once
// The process-wide table from the system's result codes to their texts in the user's language.
//
// The locale is read once, from the "locale" key of the settings file "locale.cfg", when the map
// is first used; en_gb, fr_fr, es_es, de_de, pl_pl and ko_kr (any case) select their texts, every
// other value (also none) the en_US texts. The map never changes afterwards, so any thread reads
// it without a lock; its construction is guarded (one thread builds, others wait). It lives until
// the process ends (it is not destroyed at exit, so that late log lines still find their texts).
#include <string>
#include <unordered_map>

#include "foundation/Types.h"

namespace Quor::Common {

class ErrorMessageMap {
public:
    // The single map, built on first call.
    static ErrorMessageMap& GetErrorMessageMap();
    // The same, but null when called on the thread that is building the map (the settings file
    // read during construction may log an error whose text would come from the map itself).
    static const ErrorMessageMap* TryGetErrorMessageMap();

    // The text of code, or null when the code has none.
    const std::string* GetErrorMessage(HRESULT code) const;

    // The value of "locale" in "locale.cfg" (empty when the file or key is missing), or "en_US"
    // when the file exists but cannot be read.
    static void GetLocale(std::string& locale);

    ErrorMessageMap(const ErrorMessageMap&) = delete;
    ErrorMessageMap& operator=(const ErrorMessageMap&) = delete;

private:
    ErrorMessageMap();

    // The minimal standard generator's step (Schrage's method) over the code XOR 0xDEADBEEF.
    struct CodeHash {
        size_t operator()(HRESULT code) const;
    };
    std::unordered_map<HRESULT, std::string, CodeHash> m_messages;
};

}  // namespace Quor::Common
