// Window arithmetic and the occasional home-page visit, free of any window
// system so that they can be tested alone. Positions and sizes are in twips
// (1/1440 inch): 15 twips to a pixel at 96 dots per inch.
#pragma once

#include <functional>
#include <string>

namespace vq {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr double kStandardDpi = 96.0;

// Pixels to twips at `dpi` logical dots per inch, rounded to the nearest twip.
// A dpi that is not a positive number counts as 96.
int PixelsToTwips(int pixels, double dpi);

// Twips to pixels at `dpi` logical dots per inch, rounded to the nearest pixel.
int TwipsToPixels(int twips, double dpi);

// The top-left corner of a window, in twips.
struct WindowPosition {
  int left = 0;
  int top = 0;
  bool operator==(const WindowPosition&) const = default;
};

// Where CenterWindow puts a window: (screen - window) / 2 on each axis, halves
// rounded to even as a twips property takes them. A window larger than the
// screen gets a negative position.
WindowPosition CenteredPosition(int screen_width, int screen_height, int window_width,
                                int window_height);

// The maker's home page address (set at build time).
const char* HomePageAddress();

// A number in [0, 1) from a generator seeded by the clock; the default source
// of VisitHomePageOccasionally.
double ClockSeededRandom();

// Draws a whole number from 1 to 100 as floor(random() * 100) + 1 and, when it
// is 7, hands the home page address to `launch`, which starts the desktop's
// browser without waiting. A draw outside [0, 1) visits nothing. Returns true
// when the page was launched.
bool VisitHomePageOccasionally(const std::function<void(const std::string&)>& launch,
                               const std::function<double()>& random = ClockSeededRandom);

// Ends the process at once with `code`. Closing a window must not return into
// a command that is waiting on a connect and let it show a box afterwards, as
// leaving the event loop would; the settings are already on disk.
[[noreturn]] void EndProgramNow(int code = 0);

}  // namespace vq
