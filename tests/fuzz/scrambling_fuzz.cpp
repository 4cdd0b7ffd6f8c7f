// Any byte string: scrambling never fails for a text without a zero byte,
// keeps the length, never writes a zero byte and always comes back.
#include "password_scrambling.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string clear(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> scrambled = ScramblePassword(clear);
    if (clear.find('\0') != std::string::npos) {
        if (scrambled)
            std::abort();
        return 0;
    }
    if (!scrambled || scrambled->size() != clear.size() || scrambled->find('\0') != std::string::npos ||
        UnscramblePassword(*scrambled) != clear)
        std::abort();
    // Unscrambling takes anything, also what no scramble produced.
    (void)UnscramblePassword(clear);
    return 0;
}
