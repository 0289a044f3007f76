#pragma once
#if !defined(_WIN32)
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <streambuf>
#endif

// Holds off POSIX thread cancellation for a scope on the library's threads:
// a cancel that lands in our frames (at a write, say) would unwind code that
// cannot be unwound and end the program. Cheap and lock-free, so fit for the
// audio thread. Nothing to do on Windows, which cancels no threads.
class NoCancellation {
  public:
#if defined(_WIN32)
    NoCancellation() {}
    ~NoCancellation() {} // not trivial, so a guard that does nothing raises no warning
#else
    NoCancellation() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &mOld); }
    ~NoCancellation() { pthread_setcancelstate(mOld, nullptr); }

  private:
    int mOld = PTHREAD_CANCEL_ENABLE;
#endif
  public:
    NoCancellation(const NoCancellation&) = delete;
    NoCancellation& operator=(const NoCancellation&) = delete;
};

#if !defined(_WIN32)
// std::cerr writing straight to the standard error with cancellation held
// off. The audio and MIDI libraries print there from threads that JACK
// cancels: RtAudio's notice that the JACK server went away runs on the very
// thread its own close then cancels, and a cancel inside the stream's write
// ends the program. Install once, at start.
inline void MakeStandardErrorCancelSafe() {
    class Buffer : public std::streambuf {
      protected:
        int_type overflow(int_type c) override {
            if (traits_type::eq_int_type(c, traits_type::eof())) {
                return traits_type::not_eof(c);
            }
            const char byte = traits_type::to_char_type(c);
            return write(&byte, 1) ? c : traits_type::eof();
        }
        std::streamsize xsputn(const char* text, std::streamsize n) override { return write(text, n) ? n : 0; }

      private:
        static bool write(const char* text, std::streamsize n) {
            const NoCancellation noCancellation;
            while (n > 0) {
                const ssize_t written = ::write(STDERR_FILENO, text, static_cast<std::size_t>(n));
                if (written < 0 && errno == EINTR) {
                    continue;
                }
                if (written <= 0) {
                    return false;
                }
                text += written;
                n -= written;
            }
            return true;
        }
    };
    static Buffer buffer;
    std::cerr.flush();
    std::cerr.rdbuf(&buffer);
}
#endif
