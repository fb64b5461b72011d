#pragma once
// Where a window goes so that it is centred on the screen, keeping its size.

namespace morvane {

struct Origin {
    int left;
    int top;
};

// left = (screen width - window width) / 2, top likewise, integer division.
[[nodiscard]] constexpr Origin centred_origin(int screen_width, int screen_height, int window_width,
                                              int window_height) {
    return {(screen_width - window_width) / 2, (screen_height - window_height) / 2};
}

}  // namespace morvane
