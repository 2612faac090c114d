#include "ui/window_logic.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#ifndef VQ_HOME_PAGE
#define VQ_HOME_PAGE "https://vellquist.example/"
#endif

namespace vq {
namespace {

double UsableDpi(double dpi) {
  return std::isfinite(dpi) && dpi > 0 ? dpi : kStandardDpi;
}

// Rounds half to even, as a value assigned to a whole-twip property is rounded,
// and keeps the result inside int.
int RoundToInt(double value) {
  double r = std::nearbyint(value);
  if (!(r >= INT_MIN)) return INT_MIN;  // NaN lands here too
  if (r > INT_MAX) return INT_MAX;
  return static_cast<int>(r);
}

}  // namespace

int PixelsToTwips(int pixels, double dpi) {
  return RoundToInt(static_cast<double>(pixels) * kTwipsPerInch / UsableDpi(dpi));
}

int TwipsToPixels(int twips, double dpi) {
  return RoundToInt(static_cast<double>(twips) * UsableDpi(dpi) / kTwipsPerInch);
}

WindowPosition CenteredPosition(int screen_width, int screen_height, int window_width,
                                int window_height) {
  // The differences are taken in double so that extreme sizes cannot overflow.
  auto half = [](int screen, int window) {
    return RoundToInt((static_cast<double>(screen) - window) / 2.0);
  };
  return {half(screen_width, window_width), half(screen_height, window_height)};
}

const char* HomePageAddress() {
  return VQ_HOME_PAGE;
}

double ClockSeededRandom() {
  static std::mt19937_64 generator(
      static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
  return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

bool VisitHomePageOccasionally(const std::function<void(const std::string&)>& launch,
                               const std::function<double()>& random) {
  const double r = random();
  if (!(r >= 0.0 && r < 1.0)) return false;
  const int drawn = static_cast<int>(r * 100) + 1;
  if (drawn != 7) return false;
  launch(HomePageAddress());
  return true;
}

void EndProgramNow(int code) {
  std::fflush(nullptr);
  // _Exit: no static destructors while a worker thread may still be inside a connect.
  std::_Exit(code);
}

}  // namespace vq
