// The C++ host of the example component: the same calls as the C host, with arrays of the
// header-only class rtkkvn::Array and the list call rtkcppFeval.
//
//   host_cpp ARCHIVE.ctf
//
// Exits 0 when every call behaved as the comments say, 1 otherwise.
#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rtkbase.h"
#include "rtkkvn.h"
#include "rtkkvn_array.hpp"

using rtkkvn::Array;

namespace {

// A list of arrays (array_buffer), given back when it goes.
struct ListRelease {
  void operator()(array_buffer* list) const {
    ref_count_obj_release(reinterpret_cast<ref_count_obj*>(list));
  }
};
using ArrayList = std::unique_ptr<array_buffer, ListRelease>;

ArrayList newList() {
  array_buffer* list = nullptr;
  rtkkvn::detail::checkStatus(rtkcppGetArrayBuffer(&list, 0));
  return ArrayList(list);
}

// A started component instance, terminated when it goes.
class ComponentInstance {
 public:
  explicit ComponentInstance(const char* archive) {
    if (!rtkInitializeComponentInstanceCtfFileToCache(&handle_, nullptr, nullptr, archive)) {
      throw std::runtime_error(std::string("cannot start the component: ") +
                               rtkGetLastErrorMessage());
    }
  }
  ~ComponentInstance() { rtkTerminateInstance(&handle_); }
  ComponentInstance(const ComponentInstance&) = delete;
  ComponentInstance& operator=(const ComponentInstance&) = delete;

  // Calls name with inputs and returns its nargout results; a Q-code error is thrown as the
  // koException the call leaves pending.
  std::vector<Array> call(const char* name, int nargout, const std::vector<Array>& inputs) {
    const ArrayList in = newList();
    for (const Array& input : inputs)
      rtkkvn::detail::checkStatus(array_buffer_add(in.get(), input.get()));
    array_buffer* out = nullptr;
    if (rtkcppFeval(handle_, name, nargout, &out, in.get()) != 0) koException::raise_error();
    const ArrayList outputs(out);
    std::vector<Array> results;
    // List entries count from 1.
    for (size_t i = 1; i <= array_buffer_size(out); ++i) {
      results.push_back(Array::fromObject(array_buffer_get(out, i)));
    }
    return results;
  }

 private:
  HKVNINSTANCE handle_ = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " ARCHIVE.ctf\n";
    return 2;
  }
  if (!rtkkvnInitialize() || !rtkInitializeApplication(nullptr, 0)) {
    std::cerr << "cannot start the runtime: " << rtkGetLastErrorMessage() << "\n";
    return 1;
  }
  int failures = 0;
  try {
    ComponentInstance component(argv[1]);

    const std::vector<Array> stats = component.call("stats", 2, {Array{2, 4, 4, 4, 5, 5, 7, 9}});
    std::printf("stats: mean %g, standard deviation %.4f\n", stats[0].value<double>(),
                stats[1].value<double>());
    if (stats[0].value<double>() != 5) ++failures;

    const Array greeting = component.call("greet", 1, {Array("cpp host")})[0];
    std::cout << "greet('cpp host'): " << greeting.toString() << "\n";

    try {
      component.call("normalize", 1, {Array{3, 3, 3}});
      std::cerr << "normalize([3 3 3]) should have failed\n";
      ++failures;
    } catch (const koException& error) {
      std::cout << "normalize([3 3 3]) failed: " << error.what() << "\n";
    }
  } catch (const std::exception& error) {
    std::cerr << error.what() << "\n";
    ++failures;
  }
  rtkTerminateApplication();
  std::cout << (failures ? "host finished with failures" : "host finished") << "\n";
  return failures ? 1 : 0;
}
