#include "common/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Records its hooks; Run waits until released (or killed) and returns 42.
class Recorder : public CWinThreadMaster {
 public:
  enum class Ending { Release, StateWord, CheckKilled };
  explicit Recorder(Ending ending = Ending::Release) : ending_(ending) {}
  ~Recorder() override {
    release.store(true);
    CThreadCtrl(this).Wait(INFINITE);
  }

  DWORD Run() override {
    Note("run");
    for (;;) {
      if (ending_ == Ending::Release && release.load()) return 42;
      if (ending_ == Ending::StateWord && IsKilled()) return 7;
      if (ending_ == Ending::CheckKilled) CheckKilled();
      Sleep(1);
    }
  }
  void OnBeforeStart() override { Note("before"); }
  void OnStop() override { Note("stop"); }
  void SetThreadId(DWORD id) override {
    Note("id");
    id_ = id;
    Sleep(20);  // a thread that was not suspended would run meanwhile
  }
  void OnThreadEnter() override {
    Note("enter");
    idOnThread_ = GetCurrentThreadId();
  }
  void OnThreadExit() override { Note("exit"); }

  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }
  DWORD id_ = 0;
  std::atomic<DWORD> idOnThread_{0};
  std::atomic<bool> release{false};

 private:
  void Note(const char* what) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(what);
  }
  Ending ending_;
  std::mutex mutex_;
  std::vector<std::string> log_;
};

DWORD ExitCode(HANDLE thread) {
  DWORD code = 0;
  EXPECT_NE(GetExitCodeThread(thread, &code), 0);
  return code;
}

// Both ways of starting: the player's Start and the converter's StartChecked.
class ThreadStartTest : public ::testing::TestWithParam<bool> {
 protected:
  void StartOn(CWinThreadMaster* object) {
    CThreadCtrl ctrl;
    if (GetParam())
      ctrl.Bind(object).StartChecked();
    else
      EXPECT_EQ(ctrl.Start(object), 1u);
  }
};

TEST_P(ThreadStartTest, SuspendedStartRunsHooksInOrder) {
  Recorder r;
  StartOn(&r);
  CThreadCtrl ctrl(&r);
  EXPECT_NE(r.GetThreadHandle(), nullptr);
  EXPECT_EQ(ctrl.Wait(0), FALSE);
  EXPECT_EQ(ctrl.WaitChecked(0), FALSE);
  EXPECT_EQ(ctrl.IsRunning(), TRUE);
  r.release.store(true);
  EXPECT_EQ(ctrl.WaitChecked(INFINITE), TRUE);
  EXPECT_EQ(ctrl.Wait(0), TRUE);
  EXPECT_EQ(ctrl.IsRunning(), FALSE);
  EXPECT_EQ(ExitCode(r.GetThreadHandle()), 42u);
  EXPECT_EQ(r.Log(), (std::vector<std::string>{"before", "id", "enter", "run", "exit"}));
  EXPECT_EQ(r.id_, r.idOnThread_.load());
  EXPECT_NE(r.id_, 0u);
  ctrl.Close();
  EXPECT_EQ(r.GetThreadHandle(), nullptr);
  ctrl.Close();  // a second close does nothing
}

TEST_P(ThreadStartTest, SecondStartWhileRunningIsRefused) {
  Recorder r;
  StartOn(&r);
  CThreadCtrl ctrl(&r);
  HANDLE first = r.GetThreadHandle();
  EXPECT_EQ(ctrl.Start(), 0u);
  EXPECT_THROW(ctrl.StartChecked(), CCtrlFailed);
  EXPECT_EQ(r.GetThreadHandle(), first);
  r.release.store(true);
  EXPECT_EQ(ctrl.Wait(INFINITE), TRUE);
  // Once ended, the object can run again (the old handle is released).
  StartOn(&r);
  EXPECT_EQ(ctrl.Wait(INFINITE), TRUE);
  EXPECT_EQ(r.Log().size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(Forms, ThreadStartTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Checked" : "Player"; });

TEST(ThreadTest, NeverStarted) {
  Recorder r;
  CThreadCtrl ctrl(&r);
  EXPECT_NO_THROW(r.CheckKilled());
  EXPECT_EQ(ctrl.Wait(0), TRUE);  // counts as ended
  EXPECT_EQ(ctrl.WaitChecked(INFINITE), TRUE);
  EXPECT_EQ(ctrl.IsRunning(), FALSE);
  ctrl.Stop();
  EXPECT_EQ(r.GetState(), CWinThreadMaster::kKilled);
  EXPECT_EQ(r.Log(), (std::vector<std::string>{"stop"}));
  EXPECT_THROW(r.CheckKilled(), CExKilledByCtrl);
  ctrl.Close();
}

TEST(ThreadTest, ClosedHandleOfARunningThreadIsNotTakenAsEnded) {
  Recorder r;
  CThreadCtrl ctrl(&r);
  ctrl.StartChecked();
  ctrl.Close();
  EXPECT_EQ(r.GetThreadHandle(), nullptr);
  EXPECT_EQ(ctrl.Wait(0), FALSE);
  EXPECT_EQ(ctrl.IsRunning(), TRUE);
  EXPECT_THROW(ctrl.WaitChecked(0), CCtrlFailed);  // nothing left to wait on
  EXPECT_EQ(ctrl.Start(), 0u);
  r.release.store(true);
  for (int i = 0; i < 5000 && ctrl.IsRunning(); ++i) Sleep(1);
  EXPECT_EQ(ctrl.IsRunning(), FALSE);
  EXPECT_EQ(ctrl.WaitChecked(0), TRUE);
}

TEST(ThreadTest, StopEndsARunThatWatchesTheStateWord) {
  Recorder r(Recorder::Ending::StateWord);
  CThreadCtrl ctrl;
  ASSERT_EQ(ctrl.Start(&r), 1u);
  EXPECT_EQ(ctrl.Wait(30), FALSE);
  ctrl.Stop(&r);
  EXPECT_EQ(ctrl.Wait(INFINITE), TRUE);
  EXPECT_EQ(ExitCode(r.GetThreadHandle()), 7u);
}

TEST(ThreadTest, CheckKilledEndsTheRun) {
  Recorder r(Recorder::Ending::CheckKilled);
  CThreadCtrl ctrl(&r);
  ctrl.StartChecked();
  EXPECT_EQ(ctrl.WaitChecked(30), FALSE);
  ctrl.Stop();
  EXPECT_EQ(ctrl.WaitChecked(INFINITE), TRUE);
  EXPECT_EQ(ExitCode(r.GetThreadHandle()), CWinThreadMaster::kKilled);
  EXPECT_EQ(r.Log().back(), "exit");  // the exit hook still runs
}

TEST(ThreadTest, UnboundControllerAndExceptionBase) {
  CThreadCtrl ctrl;
  EXPECT_EQ(ctrl.Start(), 0u);
  EXPECT_THROW(ctrl.StartChecked(), CCtrlFailed);
  EXPECT_THROW(ctrl.WaitChecked(0), CException);
  EXPECT_EQ(ctrl.Wait(0), TRUE);
  ctrl.Stop();
  ctrl.Close();
  EXPECT_THROW(throw CExKilledByCtrl(), CException);  // caught as the base exception
}

TEST(ThreadDeathTest, DestroyingWithARunningThreadAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        struct Forever : CWinThreadMaster {
          DWORD Run() override {
            for (;;) Sleep(10);
          }
        };
        auto* f = new Forever;
        CThreadCtrl(f).Start();
        delete f;
      },
      "destroyed while its thread is running");
}

}  // namespace
