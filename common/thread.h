// Worker-thread base class and its controller.  A class that needs a thread
// derives from CWinThreadMaster and overrides Run; a CThreadCtrl made on the
// stack starts, stops, waits for and closes the thread.  The thread is always
// created suspended and resumed only after the object knows its thread id.
//
// The owner stops the thread (and makes Run return) and waits for it before
// the object is destroyed; destroying an object whose thread still runs
// aborts the program.
#pragma once

#include <windows.h>

#include <atomic>

// The converter's exception classes: empty, thrown by value.
class CException {};
// A thread could not be started, or a wait on it failed.
class CCtrlFailed : public CException {};
// Thrown by CheckKilled once a stop has been requested.
class CExKilledByCtrl : public CException {};

class CWinThreadMaster {
 public:
  // The state word after CThreadCtrl::Stop; also the exit code of a thread
  // whose run was ended by CheckKilled.
  static constexpr DWORD kKilled = 0x80000001;

  CWinThreadMaster();
  virtual ~CWinThreadMaster();
  CWinThreadMaster(const CWinThreadMaster&) = delete;
  CWinThreadMaster& operator=(const CWinThreadMaster&) = delete;

  // The thread's body; its result is the thread's exit code.
  virtual DWORD Run();
  // Called by the controller before the thread is created.
  virtual void OnBeforeStart();
  // Called by CThreadCtrl::Stop before the state word is set.
  virtual void OnStop();
  // Receives the new thread's id while the thread is still suspended.
  virtual void SetThreadId(DWORD id);
  // First and last calls on the new thread, around Run.
  virtual void OnThreadEnter();
  virtual void OnThreadExit();
  // Cancellation point: throws CExKilledByCtrl once a stop was requested.
  // Thrown on the worker thread, it ends the run with exit code kKilled.
  virtual void CheckKilled();

  // The converter's start: creates the thread suspended through the C
  // runtime, hands over the id, resumes it.  1 on success, 0 when the thread
  // could not be created or resumed (or a thread of this object still runs).
  BOOL CreateThread();

  // The routine the new thread runs, with the object as its argument.
  static DWORD WINAPI ThreadEntry(LPVOID object);

  HANDLE GetThreadHandle() const { return m_thread; }
  DWORD GetState() const { return m_state.load(std::memory_order_acquire); }
  bool IsKilled() const { return GetState() == kKilled; }

 private:
  friend class CThreadCtrl;
  enum class Creator { Win32, Runtime };
  // ResumeThread's result (the previous suspend count, 1), or 0 on failure.
  DWORD Launch(Creator creator);

  HANDLE m_thread = nullptr;
  std::atomic<DWORD> m_state{0};
  // Set before the thread is created, cleared by the thread after its last
  // access to the object.
  std::atomic<bool> m_active{false};
};

// A light handle on one CWinThreadMaster; destroying it does nothing.
class CThreadCtrl {
 public:
  CThreadCtrl() = default;
  explicit CThreadCtrl(CWinThreadMaster* object) : m_object(object) {}

  CThreadCtrl& Bind(CWinThreadMaster* object);

  // Player form: OnBeforeStart, create suspended, SetThreadId, resume.
  // Returns ResumeThread's result (1), or 0 when the thread could not be
  // created or resumed, or a thread of the object still runs.
  DWORD Start();
  DWORD Start(CWinThreadMaster* object);
  // Converter form: OnBeforeStart, CWinThreadMaster::CreateThread; throws
  // CCtrlFailed when the thread was not started.
  void StartChecked();

  // Calls OnStop and sets the state word to kKilled; ending the thread is
  // the run operation's job.
  void Stop();
  void Stop(CWinThreadMaster* object);

  // 1 when the thread has ended (or was never started), else 0.
  BOOL Wait(DWORD milliseconds);
  // 1 when the thread has ended (or was never started), 0 when the time ran
  // out; throws CCtrlFailed when the wait itself fails.
  BOOL WaitChecked(DWORD milliseconds);
  // 1 while the thread has not ended.
  BOOL IsRunning();
  // Closes the thread handle, once.
  void Close();

 private:
  CWinThreadMaster* m_object = nullptr;
};
