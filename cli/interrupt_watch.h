// What the user's interrupts do while the components are written: they no
// longer end the run (an interrupted write can leave a board that does not
// start); the run hears of them and says so.
#pragma once

namespace kx::cli {

// While one lives, SIGINT, SIGQUIT, SIGTERM and SIGTSTP neither end nor stop
// the process: the handler only writes a byte to a pipe, which the main flow
// reads (fd() is readable while an interrupt waits to be taken). SIGHUP and
// SIGPIPE are ignored: a closed terminal or a reader gone away does not end
// the run either. Handlers restart interrupted system calls, so that no
// other thread's read or write fails for an interrupt. The previous handling
// comes back when the object ends. At most one exists at a time.
//
// Should the pipe not be made, every one of these signals is ignored: held
// off as before, only without the notice.
class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // The pipe's reading end; -1 when there is none.
  int fd() const { return readFd_; }
  // True when at least one interrupt arrived since the last call; takes
  // them all. Never blocks.
  bool TakeInterrupts();

 private:
  int readFd_ = -1;
  int writeFd_ = -1;
};

}  // namespace kx::cli
