// VMs against the real engine: each runs its own engine instance on its own thread and answers
// through futures; a failed start is carried by the creation future; the session forgets what
// is released.

#include "vm/zvm.hpp"

#include <dirent.h>
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>
#include <string>

#include "engine/instance.hpp"

namespace {

std::size_t threadCount() {
  std::size_t count = 0;
  DIR* folder = ::opendir("/proc/self/task");
  while (folder && ::readdir(folder)) ++count;
  if (folder) ::closedir(folder);
  return count;
}

boost::shared_ptr<zvm::ZVM> startVm(const zvm::ZVMOptions& options = zvm::ZVMOptions(false)) {
  const int id = zvm::ProcessSession::current()->createVM(options).get();
  return zvm::ProcessSession::current()->getVM(id);
}

TEST(Vm, EvaluateFevalStopAndRelease) {
  const std::size_t knownBefore = zvm::ProcessSession::current()->vmCount();
  const std::size_t threadsBefore = threadCount();
  boost::shared_ptr<zvm::ZVM> vm = startVm();
  ASSERT_NE(vm, nullptr);
  EXPECT_EQ(threadCount(), threadsBefore + 1);
  ASSERT_NE(vm->getKvnInstance(), nullptr);
  EXPECT_NE(vm->getKvnInstance(), kvnInstance::GetKVN());  // made on the VM's thread

  EXPECT_TRUE(vm->evaluate(L"x = 1;").get());
  EXPECT_FALSE(vm->evaluate(L"x = noSuchThing;").get());

  zyArray* inputs[2] = {zyCreateString("answer"), zyCreateDoubleScalar(42)};
  EXPECT_TRUE(vm->feval("rtksetglobal", inputs, inputs + 2, 0).get().empty());
  zvm::ZVM::Results results = vm->feval("rtkgetglobal", inputs, inputs + 1, 1).get();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(static_cast<const double*>(zyGetData(results[0].get()))[0], 42);
  try {
    vm->feval("noSuchFunctionAnywhere", inputs, inputs, 1).get();
    ADD_FAILURE() << "a missing function must fail";
  } catch (const cmddistributor::RuntimeException& error) {
    EXPECT_EQ(error.identifier(), "Q:undefined");
  }
  // A second VM has globals of its own.
  boost::shared_ptr<zvm::ZVM> other = startVm();
  EXPECT_GT(other->id(), vm->id());
  EXPECT_TRUE(other->feval("rtkgetglobal", inputs, inputs + 1, 1).get()[0] != nullptr);
  EXPECT_EQ(
      zyGetNumberOfElements(other->feval("rtkgetglobal", inputs, inputs + 1, 1).get()[0].get()),
      0u);
  EXPECT_TRUE(other->release());

  vm->stop().get();
  EXPECT_EQ(vm->getKvnInstance(), nullptr);
  EXPECT_THROW(vm->evaluate(L"x = 2;").get(), std::logic_error);
  EXPECT_TRUE(vm->release());
  EXPECT_FALSE(vm->release());
  EXPECT_EQ(zvm::ProcessSession::current()->getVM(vm->id()), nullptr);
  EXPECT_EQ(zvm::ProcessSession::current()->vmCount(), knownBefore);
  EXPECT_EQ(threadCount(), threadsBefore);
  zyDestroyArray(inputs[0]);
  zyDestroyArray(inputs[1]);
}

TEST(Vm, FailedStartIsCarriedByTheFutureAndForgotten) {
  const std::size_t knownBefore = zvm::ProcessSession::current()->vmCount();
  zvm::ZVMOptions options(false);
  options.searchPath = {"/no/such/folder/for/a/vm"};
  EXPECT_THROW(zvm::ProcessSession::current()->createVM(options).get(), kvnInstantiationError);
  EXPECT_EQ(zvm::ProcessSession::current()->vmCount(), knownBefore);

  // The replacement path is used instead of the search path only when its flag is set.
  zvm::ZVMOptions replaced(false);
  replaced.replacementPath = "/no/such/folder/for/a/vm";
  boost::shared_ptr<zvm::ZVM> vm = startVm(replaced);
  EXPECT_TRUE(vm->release());
  replaced.replacePath = true;
  EXPECT_THROW(zvm::ProcessSession::current()->createVM(replaced).get(), kvnInstantiationError);
}

int probedVmId = -1;
void probeCurrentVm(int, zyArray**, int, zyArray**) {
  probedVmId = zvm::Factory::getCurrentLocalZVM()->id();
}

TEST(Vm, CurrentLocalVmIsTheVmOfTheCallingThread) {
  boost::shared_ptr<zvm::ZVM> vm = startVm();
  ASSERT_TRUE(kvnRegisterExternalFunction(vm->getKvnInstance(), "probevm",
                                          boost::make_shared<KvnCallExternal>(probeCurrentVm)));
  EXPECT_TRUE(vm->evaluate(L"probevm();").get());
  EXPECT_EQ(probedVmId, vm->id());
  EXPECT_TRUE(vm->release());

  // Off every VM thread: a wrapper of this thread's engine instance (none here).
  boost::shared_ptr<zvm::ZVM> local = zvm::Factory::getCurrentLocalZVM();
  EXPECT_EQ(local->getKvnInstance(), nullptr);
  EXPECT_THROW(local->evaluate(L"x = 1;").get(), std::logic_error);
}

}  // namespace

TEST(VmDeathTest, AVmStillRunningAtExitIsStoppedCleanly) {
  // A host that forgets to release a VM before exit: the VM must be stopped while the engine's
  // data is still there, and the process must end normally.
  EXPECT_EXIT(
      {
        boost::shared_ptr<zvm::ZVM> vm = startVm();
        if (!vm || !vm->evaluate(L"x = 1;").get()) std::_Exit(3);
        vm.reset();  // the session still knows it
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}
