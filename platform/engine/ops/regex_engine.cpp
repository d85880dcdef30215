// libqregex.so: compiling and matching on Boost.Regex for regexp and regexprep (regex.cpp), the
// only code of the runtime that needs Boost.Regex (and, through Debian's build of it, ICU). The
// engine opens this library when the first pattern is compiled; see regex_engine.hpp.

#include "engine/ops/regex_engine.hpp"

#include <boost/regex.hpp>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

struct qregexPattern {
  boost::wregex regex;
  std::vector<std::wstring> names;  // the named groups whose extents are reported
};

namespace {

std::wstring wide(const char16_t* units, size_t length) {
  return std::wstring(units, units + length);
}

// Runs body and returns its result, or what it threw as a result code (see regex_engine.hpp).
template <typename Body>
int guarded(qregexReportFunction* report, void* context, Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return QREGEX_NO_MEMORY;
  } catch (const std::length_error&) {
    return QREGEX_NO_MEMORY;
  } catch (const std::runtime_error& error) {
    report(context, error.what());
    return QREGEX_INVALID;
  } catch (const std::exception& error) {
    report(context, error.what());
    return QREGEX_FAILED;
  } catch (...) {
    report(context, "an exception that is not a std::exception");
    return QREGEX_FAILED;
  }
}

void appendExtent(std::vector<size_t>& extents, const boost::wsmatch::value_type& group,
                  const std::wstring& subject) {
  if (!group.matched) {
    extents.push_back(0);
    extents.push_back(QREGEX_UNMATCHED);
    return;
  }
  extents.push_back(static_cast<size_t>(group.first - subject.begin()));
  extents.push_back(static_cast<size_t>(group.length()));
}

}  // namespace

extern "C" {

int qregexInterfaceVersion(void) { return QREGEX_INTERFACE_VERSION; }

int qregexCompile(const char16_t* pattern, size_t length, unsigned flags, const char* const* names,
                  size_t nameCount, qregexPattern** compiled, qregexReportFunction* report,
                  void* context) {
  *compiled = nullptr;
  return guarded(report, context, [&] {
    auto result = std::make_unique<qregexPattern>();
    boost::wregex::flag_type options = boost::regex::perl;
    if (flags & QREGEX_IGNORE_CASE) options |= boost::regex::icase;
    if (!(flags & QREGEX_LINE_ANCHORS)) options |= boost::regex::no_mod_m;
    if (!(flags & QREGEX_DOT_ALL)) options |= boost::regex::no_mod_s;
    if (flags & QREGEX_FREE_SPACING) options |= boost::regex::mod_x;
    result->regex.assign(wide(pattern, length), options);
    for (size_t n = 0; n < nameCount; ++n) {
      result->names.emplace_back(names[n], names[n] + std::strlen(names[n]));
    }
    *compiled = result.release();
    return QREGEX_OK;
  });
}

size_t qregexGroupCount(const qregexPattern* pattern) { return pattern->regex.mark_count(); }

int qregexFind(const qregexPattern* pattern, const char16_t* subject, size_t length, int once,
               qregexMatchFunction* onMatch, qregexReportFunction* report, void* context) {
  return guarded(report, context, [&] {
    const std::wstring text = wide(subject, length);
    const size_t groups = pattern->regex.mark_count();
    std::vector<size_t> extents;
    for (boost::wsregex_iterator it(text.begin(), text.end(), pattern->regex), end; it != end;
         ++it) {
      const boost::wsmatch& found = *it;
      extents.clear();
      appendExtent(extents, found[0], text);
      size_t tokens = 0;
      for (size_t g = 1; g <= groups && g < found.size(); ++g, ++tokens) {
        appendExtent(extents, found[static_cast<int>(g)], text);
      }
      for (const std::wstring& name : pattern->names) {
        appendExtent(extents, found[name.c_str()], text);
      }
      if (onMatch(context, extents.data(), tokens) != 0) return QREGEX_STOPPED;
      if (once) break;
    }
    return QREGEX_OK;
  });
}

void qregexRelease(qregexPattern* pattern) { delete pattern; }

}  // extern "C"
