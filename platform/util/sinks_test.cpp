#include "util/sinks.hpp"

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Collects what a handler receives, one entry per call.
struct Recorder {
  CmdWinTextHandler handler() {
    return [this](const char* text) {
      std::lock_guard<std::mutex> guard(mutex);
      calls.emplace_back(text);
      return 0;
    };
  }
  std::mutex mutex;
  std::vector<std::string> calls;
};

TEST(UtilSinks, PutsFnSinkForwardsWholeLinesAndHoldsThePartialOne) {
  Recorder recorder;
  {
    PutsFnSink sink(recorder.handler());
    sink.write("one\ntwo\nthr");
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"one\n", "two\n"}));
    sink.write("ee\n\n");
    sink.write("last");
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"one\n", "two\n", "three\n", "\n"}));
    sink.flush();
    sink.flush();
    sink.write("pending at the end");
  }
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"one\n", "two\n", "three\n", "\n", "last",
                                                      "pending at the end"}));
  EXPECT_THROW(PutsFnSink{CmdWinTextHandler()}, std::invalid_argument);
}

TEST(UtilSinks, LinesFromSeveralThreadsArriveWhole) {
  Recorder recorder;
  PutsFnSink sink(recorder.handler());
  auto writer = [&](char tag) {
    for (int i = 0; i < 500; ++i) sink.write(std::string(40, tag) + "\n");
  };
  std::thread first(writer, 'a'), second(writer, 'b');
  first.join();
  second.join();
  ASSERT_EQ(recorder.calls.size(), 1000u);
  for (const auto& line : recorder.calls) {
    ASSERT_TRUE(line == std::string(40, 'a') + "\n" || line == std::string(40, 'b') + "\n") << line;
  }
}

TEST(UtilSinks, InstalledFactoryRoutesToTheHandlersSetLast) {
  Recorder print, error, later;
  auto factory = boost::make_shared<DefaultPrintHandlerSinkFactory>();
  CmdWinSinkHandle::setFactory(factory);  // the order a host uses: install, then the handlers
  factory->setPrintHandler(print.handler());
  factory->setErrorHandler(error.handler());
  EXPECT_EQ(CmdWinSinkHandle::getFactory(), factory);

  auto printSink = CmdWinSinkHandle::printSink();
  EXPECT_EQ(CmdWinSinkHandle::printSink(), printSink) << "one print sink per factory";
  printSink->write("result = 3\n");
  CmdWinSinkHandle::errorSink()->write("Error: bad input\n");
  EXPECT_EQ(print.calls, std::vector<std::string>{"result = 3\n"});
  EXPECT_EQ(error.calls, std::vector<std::string>{"Error: bad input\n"});

  factory->setPrintHandler(later.handler());
  printSink->write("after the switch\nunfinished");
  EXPECT_EQ(later.calls, std::vector<std::string>{"after the switch\n"});
  printSink.reset();

  // Replacing the factory flushes the old sinks into their handlers.
  CmdWinSinkHandle::setFactory(nullptr);
  EXPECT_EQ(later.calls, (std::vector<std::string>{"after the switch\n", "unfinished"}));
  EXPECT_NE(CmdWinSinkHandle::getFactory(), factory);
  EXPECT_EQ(print.calls.size(), 1u);
}

}  // namespace
