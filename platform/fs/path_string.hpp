#pragma once
// dsPathString: the narrow path string of the file services. Every assignment normalises the
// text to the Linux form, so two spellings of one path compare equal and joining never doubles
// a separator:
//   - surrounding white space is removed;
//   - "\" (the Windows separator, accepted on input) becomes "/";
//   - every run of "/" shrinks to one, a leading "//" included (Linux gives it no meaning).
// A trailing "/" is kept ("/tmp/" stays "/tmp/"); the element functions ignore it.
// The text is held in the system's multibyte encoding; see dsMBCSSafeString.
// Values: copy freely; not synchronised (one thread per object, like std::string).

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

// The character rules a path string is normalised with. Linux encodes file names in UTF-8 (or
// another ASCII-compatible multibyte encoding), where a byte below 0x80 is always a whole
// character and never part of a multibyte sequence. So separators can be found byte by byte,
// and only ASCII white space is trimmed: a locale that calls a high byte (0xA0, say) a space
// would otherwise cut the last byte off a multibyte character.
struct dsMBCSSafeString {
  static bool isSeparator(char c) { return c == '/' || c == '\\'; }
  static bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
  }
  static constexpr char separator = '/';
};

template <typename CharacterRules>
class dsPathString_ {
 public:
  dsPathString_() = default;
  // A null pointer gives the empty path.
  dsPathString_(const char* text) : text_(normalise(text ? text : "")) {}
  dsPathString_(const std::string& text) : text_(normalise(text)) {}

  dsPathString_& operator=(const char* text) {
    text_ = normalise(text ? text : "");
    return *this;
  }
  dsPathString_& operator=(const std::string& text) {
    text_ = normalise(text);
    return *this;
  }

  const std::string& str() const { return text_; }
  const char* c_str() const { return text_.c_str(); }
  operator const std::string&() const { return text_; }
  bool empty() const { return text_.empty(); }
  std::size_t size() const { return text_.size(); }

  bool isAbsolute() const { return !text_.empty() && text_[0] == CharacterRules::separator; }
  bool isRoot() const { return text_.size() == 1 && text_[0] == CharacterRules::separator; }

  // The last element: "b" for "/a/b" and for "/a/b/"; empty for "/" and for the empty path.
  std::string leaf() const {
    const std::size_t end = contentEnd();
    const std::size_t start = text_.rfind(CharacterRules::separator, end == 0 ? 0 : end - 1);
    if (start == std::string::npos || start >= end) return text_.substr(0, end);
    return text_.substr(start + 1, end - start - 1);
  }

  // The path without its last element: "/a" for "/a/b", "/" for "/a", empty for "a" and for
  // "/" (the root has no parent).
  dsPathString_ parent() const {
    const std::size_t end = contentEnd();
    if (end == 0) return dsPathString_();
    const std::size_t start = text_.rfind(CharacterRules::separator, end - 1);
    if (start == std::string::npos) return dsPathString_();
    if (start == 0) return dsPathString_(std::string(1, CharacterRules::separator));
    return dsPathString_(text_.substr(0, start));
  }

  // The names between separators, first to last; the root contributes none (see isAbsolute).
  std::vector<std::string> elements() const {
    std::vector<std::string> result;
    std::size_t position = 0;
    while (position < text_.size()) {
      std::size_t next = text_.find(CharacterRules::separator, position);
      if (next == std::string::npos) next = text_.size();
      if (next > position) result.push_back(text_.substr(position, next - position));
      position = next + 1;
    }
    return result;
  }

  // Joins with exactly one separator. Joining an empty path on either side gives the other
  // side unchanged, so a relative path never turns absolute by being joined to nothing.
  dsPathString_& operator/=(const dsPathString_& element) {
    if (text_.empty()) {
      text_ = element.text_;
    } else if (!element.text_.empty()) {
      text_ = normalise(text_ + CharacterRules::separator + element.text_);
    }
    return *this;
  }
  friend dsPathString_ operator/(dsPathString_ left, const dsPathString_& right) {
    left /= right;
    return left;
  }

  // Appends text to the last element without a separator ("a/name" + ".ctf").
  dsPathString_& operator+=(const std::string& text) {
    text_ = normalise(text_ + text);
    return *this;
  }
  friend dsPathString_ operator+(dsPathString_ left, const std::string& right) {
    left += right;
    return left;
  }

  // Comparison is on the normalised text; a plain string on either side is normalised first.
  friend bool operator==(const dsPathString_& a, const dsPathString_& b) {
    return a.text_ == b.text_;
  }
  friend bool operator!=(const dsPathString_& a, const dsPathString_& b) {
    return a.text_ != b.text_;
  }
  friend bool operator<(const dsPathString_& a, const dsPathString_& b) {
    return a.text_ < b.text_;
  }

  friend std::ostream& operator<<(std::ostream& stream, const dsPathString_& path) {
    return stream << path.text_;
  }

  static std::string normalise(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && CharacterRules::isSpace(text[begin])) ++begin;
    while (end > begin && CharacterRules::isSpace(text[end - 1])) --end;
    std::string result;
    result.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
      if (CharacterRules::isSeparator(text[i])) {
        if (result.empty() || result.back() != CharacterRules::separator) {
          result.push_back(CharacterRules::separator);
        }
      } else {
        result.push_back(text[i]);
      }
    }
    return result;
  }

 private:
  // Length of the text without a trailing separator (the root keeps its one separator out of
  // the count, so it has no elements).
  std::size_t contentEnd() const {
    std::size_t end = text_.size();
    if (end > 0 && text_[end - 1] == CharacterRules::separator) --end;
    return end;
  }

  std::string text_;
};

typedef dsPathString_<dsMBCSSafeString> dsPathString;
