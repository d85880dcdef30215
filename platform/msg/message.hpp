#pragma once
// Message classes of the runtime: a message is an identifier (the class name, such as
// "RTKKVN_CACHE_DIR_NOT_FOUND") and the arguments it was constructed with; its English text is
// made from the catalogue's template when asked for. Messages are values: copy them freely.

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "msg/export.hpp"

namespace KVN {

class KVNMSG_EXPORT Message {
 public:
  // Throws std::invalid_argument when id is not in the catalogue or the number of arguments
  // differs from the number the catalogue entry takes.
  Message(std::string id, std::vector<std::string> arguments);
  virtual ~Message();
  Message(const Message&) = default;
  Message& operator=(const Message&) = default;

  const std::string& id() const { return id_; }
  const std::vector<std::string>& arguments() const { return arguments_; }
  // The English text with every placeholder replaced by its argument, and the cause, when there
  // is one, after the fixed words: "The component archive could not be read: <cause>".
  std::string text() const;

  // A copy that names what went wrong underneath (a file and the fault found in it, say), for
  // messages whose fixed words cannot: the identifier and the arguments stay as they are. An
  // empty cause adds nothing.
  Message withCause(std::string cause) const;

 private:
  std::string id_;
  std::vector<std::string> arguments_;
  std::string cause_;
};

// One entry of the catalogue: the message identifier, how many arguments it takes and the
// template, in which {1}, {2}, ... stand for the arguments.
struct MessageDefinition {
  const char* id;
  int argumentCount;
  const char* text;
};

// Every message the runtime knows, in identifier order. The storage is static.
KVNMSG_EXPORT const std::vector<MessageDefinition>& messageCatalogue();
// The entry for id, or null when there is none.
KVNMSG_EXPORT const MessageDefinition* findMessage(const std::string& id);

namespace detail {
inline std::string argumentText(const std::string& value) { return value; }
inline std::string argumentText(const char* value) { return value ? value : ""; }
template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
std::string argumentText(Number value) {
  return std::to_string(value);
}
}  // namespace detail

}  // namespace KVN

// Each catalogue entry becomes a class KVN::rtkkvn::<id> whose constructor takes its arguments
// (strings or numbers) in order; a wrong count fails at compile time.
#define KVN_DECLARE_MESSAGE(ID, COUNT, TEXT)                                           \
  class ID : public ::KVN::Message {                                                   \
   public:                                                                             \
    template <typename... Arguments>                                                   \
    explicit ID(const Arguments&... arguments)                                         \
        : Message(#ID, {::KVN::detail::argumentText(arguments)...}) {                  \
      static_assert(sizeof...(Arguments) == COUNT, #ID " takes " #COUNT " arguments"); \
    }                                                                                  \
  };

namespace KVN::rtkkvn {
#include "msg/messages.def"
}  // namespace KVN::rtkkvn

#undef KVN_DECLARE_MESSAGE
