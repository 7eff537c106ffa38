// --aspect: the shape a command gives the shows it makes, changes or renders.
#include "core/show/show.h"
#include "tools/cli/cli.h"

namespace kvcli {

bool Context::TakeAspect() {
    const std::optional<std::string> text = TakeValue("--aspect");
    if (!text) return !usageError;
    int32_t mode = 0;
    if (!kv::AspectModeFromText(*text, mode)) {
        Usage("--aspect wants 16:9, 9:16, 1:1, 4:5, 4:3 or W:H (whole numbers), not " + *text);
        return false;
    }
    aspectMode = mode;
    return true;
}

}  // namespace kvcli
