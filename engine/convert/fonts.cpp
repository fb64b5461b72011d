#include "fonts.h"

#include <memory>

#include <fontconfig/fontconfig.h>

namespace morvane {

namespace {

struct ConfigDeleter {
    void operator()(FcConfig* config) const { FcConfigDestroy(config); }
};
struct PatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using Config = std::unique_ptr<FcConfig, ConfigDeleter>;
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

}  // namespace

std::string font_file_for(const char* family) {
    const Config config(FcInitLoadConfigAndFonts());
    if (!config) return {};
    const Pattern pattern(FcNameParse(reinterpret_cast<const FcChar8*>(family)));
    if (!pattern) return {};
    FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const Pattern match(FcFontMatch(config.get(), pattern.get(), &result));
    FcChar8* found = nullptr;
    if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &found) != FcResultMatch) return {};
    return reinterpret_cast<const char*>(found);
}

}  // namespace morvane
