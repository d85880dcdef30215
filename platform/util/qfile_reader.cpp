#include "util/qfile_reader.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

QfileReader::~QfileReader() = default;

PlaintextQfileReader::PlaintextQfileReader() = default;

PlaintextQfileReader::~PlaintextQfileReader() = default;

std::string PlaintextQfileReader::read(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) {
    throw std::runtime_error("cannot open the Q file '" + path + "': " + std::strerror(errno));
  }
  std::ostringstream text;
  text << stream.rdbuf();
  if (stream.bad()) throw std::runtime_error("cannot read the Q file '" + path + "'");
  return text.str();
}
