#include "msg/message.hpp"

#include <algorithm>
#include <stdexcept>

namespace KVN {
namespace {

const std::vector<MessageDefinition> kCatalogue = {
#define KVN_DECLARE_MESSAGE(ID, COUNT, TEXT) {#ID, COUNT, TEXT},
#include "msg/messages.def"
#undef KVN_DECLARE_MESSAGE
};

}  // namespace

const std::vector<MessageDefinition>& messageCatalogue() { return kCatalogue; }

const MessageDefinition* findMessage(const std::string& id) {
  auto found = std::find_if(kCatalogue.begin(), kCatalogue.end(),
                            [&](const MessageDefinition& entry) { return id == entry.id; });
  return found == kCatalogue.end() ? nullptr : &*found;
}

Message::Message(std::string id, std::vector<std::string> arguments)
    : id_(std::move(id)), arguments_(std::move(arguments)) {
  const MessageDefinition* definition = findMessage(id_);
  if (!definition) throw std::invalid_argument("unknown message identifier " + id_);
  if (static_cast<size_t>(definition->argumentCount) != arguments_.size()) {
    throw std::invalid_argument("message " + id_ + " takes " +
                                std::to_string(definition->argumentCount) + " arguments, not " +
                                std::to_string(arguments_.size()));
  }
}

Message::~Message() = default;

std::string Message::text() const {
  const std::string pattern = findMessage(id_)->text;
  std::string result;
  result.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    // A placeholder is "{" digits "}" naming an argument; anything else is copied as it is.
    if (pattern[i] == '{') {
      size_t close = pattern.find('}', i);
      if (close != std::string::npos && close > i + 1 &&
          std::all_of(pattern.begin() + i + 1, pattern.begin() + close, ::isdigit)) {
        size_t index = std::stoul(pattern.substr(i + 1, close - i - 1));
        if (index >= 1 && index <= arguments_.size()) {
          result += arguments_[index - 1];
          i = close;
          continue;
        }
      }
    }
    result += pattern[i];
  }
  if (cause_.empty()) return result;
  // The fixed words end a sentence; the cause continues it.
  if (!result.empty() && result.back() == '.') result.pop_back();
  return result + ": " + cause_;
}

Message Message::withCause(std::string cause) const {
  Message copy(*this);
  copy.cause_ = std::move(cause);
  return copy;
}

}  // namespace KVN
