// The figure wait at the end of a standalone run: the caller blocks while visible figures are
// open or the engine is not ready to exit, polling every two seconds with the library-wide
// mutex given up meanwhile, so that the figures can be closed by other threads.

#include "rtkkvn/standalone/figure_wait.hpp"

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <new>

#include "base/application.hpp"
#include "base/mutex.hpp"
#include "msg/message.hpp"
#include "rtkkvn.h"
#include "rtkkvn/instances/instance_registry.hpp"
#include "util/messages.hpp"
#include "util/services.hpp"
#include "util/warnings.hpp"
#include "zy.h"

namespace {

constexpr const char* kInvisibleFiguresWarning = "KVN:InvisibleFiguresAtExit";
const boost::posix_time::seconds kPollInterval(2);

// Destroys the array it holds when it ends.
struct ArrayHolder {
  zyArray* array = nullptr;
  ~ArrayHolder() {
    if (array) zyDestroyArray(array);
  }
};

// The value of the Q expression text (a statement ending in ';' is evaluated for its value).
void evalForValue(void* handle, const std::string& text, ArrayHolder& result) {
  ArrayHolder input;
  input.array = zyCreateString(text.c_str());
  if (input.array == nullptr) throw std::bad_alloc();
  rtkInternalFeval(handle, "eval", 1, &result.array, 1, &input.array);
}

std::string figureQuery(const char* root, bool visible) {
  return std::string("findobj(allchild(") + root + "), 'flat', 'Type', 'figure', 'visible', '" +
         (visible ? "on" : "off") + "');";
}

void ignoreFigures(void*, size_t, const double*) {}

bool warningEnabled() {
  return ut_get_warning_status_id(utGetWarningContext(), kInvisibleFiguresWarning) != 0;
}

bool engineReadyToExit(void* handle) {
  ArrayHolder result;
  rtkInternalFeval(handle, "rtkisoktoexit", 1, &result.array, 0, nullptr);
  if (result.array == nullptr || zyGetNumberOfElements(result.array) == 0) return false;
  if (zyIsLogical(result.array)) return zyGetLogicals(result.array)[0] != 0;
  const double* values = zyGetPr(result.array);
  return values != nullptr && values[0] != 0;
}

}  // namespace

std::string figureHandleText(double figure) {
  if (std::isnan(figure)) return std::signbit(figure) ? "-nan" : "nan";
  if (std::isinf(figure)) return figure < 0 ? "-inf" : "inf";
  char text[64];
  std::snprintf(text, sizeof text, "%.*lg", 17, figure);
  return text;
}

bool evalFigureQuery(void* handle, const FigureVisitor& visitor, const std::string& query) {
  rtkLock lock;
  ArrayHolder result;
  evalForValue(handle, query, result);
  if (result.array == nullptr) return false;
  const size_t count = zyGetNumberOfElements(result.array);
  if (count == 0) return false;
  visitor(handle, count, zyGetPr(result.array));
  return true;
}

bool figuresExist(void* handle, bool visible, const FigureVisitor& visitor) {
  return evalFigureQuery(handle, visitor, figureQuery("0", visible)) ||
         evalFigureQuery(handle, visitor, figureQuery("groot", visible));
}

std::string figureName(void* handle, double figure) {
  rtkLock lock;
  ArrayHolder result;
  evalForValue(handle, "get(" + figureHandleText(figure) + ",'name');", result);
  if (result.array == nullptr) return "";
  char* text = zyArrayToString(result.array);
  if (text == nullptr) return "";
  std::string name(text);
  zyFree(text);
  return name;
}

void reportInvisibleFigures(void* handle, size_t count, const double* figures) {
  using namespace KVN::rtkkvn;
  namespace i18n = Ostrand::rtki18nutil;
  if (!warningEnabled()) return;
  i18n::printmln(std::cerr, RTKKVN_INVISIBLE_FIGURES_AT_EXIT(count));
  for (size_t index = 0; index < count; ++index) {
    i18n::printmln(std::cerr, RTKKVN_INVISIBLE_FIGURE(figureHandleText(figures[index]),
                                                      figureName(handle, figures[index])));
  }
  i18n::printmln(std::cerr, RTKKVN_WAIT_FOR_MSG_AT_EXIT());
}

RTKKVN_EXPORT bool rtkWaitForFiguresToDieInternal(void* handle, bool reportInvisible) {
  rtkLock lock;
  if (rtkIsNoDisplaySet() && !svIsPQXWorkerMode()) return true;
  const FigureVisitor ignore(&ignoreFigures);
  for (;;) {
    while (figuresExist(handle, true, ignore)) rtkPauseUnlocked(kPollInterval);
    const bool ready = engineReadyToExit(handle);
    rtkPauseUnlocked(kPollInterval);
    if (ready && !figuresExist(handle, true, ignore)) break;
  }
  if (reportInvisible && figuresExist(handle, false, FigureVisitor(&reportInvisibleFigures))) {
    return false;
  }
  return true;
}

extern "C" RTKKVN_EXPORT void rtkWaitForFiguresToDie(HKVNINSTANCE handle) {
  try {
    if (handle) {
      rtkWaitForFiguresToDieInternal(handle, true);
      return;
    }
    RtkInstanceRegistry::registryInstance()->visitFirstInstance(
        [](RtkKvnInstance* first) { rtkWaitForFiguresToDieInternal(first, true); });
  } catch (...) {
    // The wait is a courtesy at exit: a failing figure query must not end the host.
  }
}
