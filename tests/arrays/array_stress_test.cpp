// Four threads create, copy, index, view, list and release array objects concurrently for a few
// seconds, sharing one array and one list among them. Every result is checked, each thread's
// last error must stay its own, and at the end every pooled object must be gone and the shared
// objects must be back to one reference.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "rtkkvn/arrays/array_buffer.hpp"
#include "rtkkvn/arrays/test_support.hpp"

namespace {

using namespace rtkkvn::arrays::testing;

constexpr int kThreads = 4;
constexpr auto kDuration = std::chrono::seconds(3);
constexpr long kMaxRounds = 1'000'000;  // bounds the run on a fast machine

// One round of work; returns a description of the first wrong result, or "".
std::string round(int thread, long number, array_ref* shared, array_buffer* list) {
  const double base = thread * 1000.0 + static_cast<double>(number % 100);
  Held<array_ref> own = doubles(2, 3, {base, base + 1, base + 2, base + 3, base + 4, base + 5});
  Held<array_ref> shallow = hold(own->shared_copy());
  Held<array_ref> deep = hold(shallow->deep_copy());
  if (!deep || !deep->equals(own.get()) || deep->hash_code() != own->hash_code()) {
    return "copies differ";
  }

  // Write through an element of the shared-data copy: the original must not change.
  const size_t at[] = {2, 3};
  Held<array_ref> element = hold(shallow->get_int(2, at));
  const double written = -base;
  if (!element || element->set_numeric_zyDouble(&written, 1) != 0) return "element write failed";
  if (valueOf(element.get()) != -base || valueOf(hold(own->get_int(2, at)).get()) != base + 5) {
    return "element write leaked into the original";
  }

  // The shared array is only read, by every thread.
  shared->addref();
  const size_t center[] = {2, 2};
  Held<array_ref> middle = hold(shared->get_int(2, center));
  const bool sharedRead = middle && valueOf(middle.get()) == 5;
  Held<array_ref> sharedCopy = hold(shared->shared_copy());
  shared->release();
  if (!sharedRead || !sharedCopy || sharedCopy->number_of_elements() != 9) {
    return "shared array read wrong";
  }

  // Parts of a complex copy.
  if (deep->make_complex() != 0) return "make_complex failed";
  Held<array_ref> imaginary = hold(deep->imag());
  const double ones[] = {1, 1, 1, 1, 1, 1};
  if (!imaginary || imaginary->set_numeric_zyDouble(ones, 6) != 0 ||
      valuesOf(hold(deep->real()).get(), 6).at(5) != base + 5) {
    return "part views wrong";
  }

  // The shared list: add, read back something, keep it short.
  if (list->add(own.get()) != 0) return "list add failed";
  Held<array_ref> first = hold(list->get(1));
  if (!first || first->number_of_elements() != 6) return "list entry wrong";
  if (number % 16 == 0) {
    Held<array_ref> cell = hold(list->to_cell(1, 1));
    if (!cell || cell->number_of_elements() != 1) return "to_cell failed";
  }
  while (list->size() > 8) {
    if (list->remove(1) != 0) return "list remove failed: " + takeLastError();
  }

  // A failure on this thread leaves this thread's message, whatever the others do.
  const size_t outside = 7;
  if (own->get_int(1, &outside) != nullptr ||
      takeLastError() != "Attempt to access element at index 7  in array of size 6") {
    return "last error mixed up";
  }
  return "";
}

TEST(ArrayStress, FourThreadsCreateCopyIndexAndReleaseConcurrently) {
  const size_t liveBefore = rtkkvn::arrays::SmallObjectPool::instance().liveBlocks();
  {
    Held<array_ref> shared = doubles(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    Held<ArrayBuffer> list = hold(new ArrayBuffer(0));
    std::atomic<bool> stop{false};
    std::vector<std::string> failures(kThreads);
    std::vector<long> rounds(kThreads, 0);
    std::vector<int> pendingAtEnd(kThreads, -1);
    std::vector<std::thread> threads;
    const auto deadline = std::chrono::steady_clock::now() + kDuration;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        while (!stop && rounds[t] < kMaxRounds && std::chrono::steady_clock::now() < deadline) {
          std::string failure = round(t, rounds[t], shared.get(), list.get());
          ++rounds[t];
          if (!failure.empty()) {
            failures[t] = failure;
            stop = true;
          }
        }
        pendingAtEnd[t] = rtkcppErrorCheck();
      });
    }
    for (std::thread& thread : threads) thread.join();

    std::printf("rounds per thread:");
    for (long count : rounds) std::printf(" %ld", count);
    std::printf("\n");
    for (int t = 0; t < kThreads; ++t) {
      EXPECT_EQ(failures[t], "") << "thread " << t << " in round " << rounds[t];
      EXPECT_GT(rounds[t], 0) << "thread " << t << " never ran";
      EXPECT_EQ(pendingAtEnd[t], 1) << "thread " << t << " left an error pending";
    }
    EXPECT_EQ(shared->addref(), 2) << "every thread gave back its references";
    shared->release();
    EXPECT_LE(list->size(), 8u);
  }
  EXPECT_EQ(rtkkvn::arrays::SmallObjectPool::instance().liveBlocks(), liveBefore);
}

}  // namespace
