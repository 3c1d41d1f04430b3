// Per-thread fault translator behind one process-wide signal handler, and the
// per-thread terminate handler.
#include "qvplatform/Platform.h"

#include <cxxabi.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <typeinfo>

namespace {

const int kFaultSignals[] = {SIGSEGV, SIGFPE, SIGILL, SIGBUS};
struct sigaction gPreviousActions[4];
std::once_flag gHandlerInstalled;
std::atomic<uint32_t> gErrorMode{0};

thread_local QVTranslatorFunction tTranslator = nullptr;
thread_local QVTerminateFunction tTerminate = nullptr;
thread_local QVExceptionDescriber tDescriber = nullptr;

uint32_t ExceptionCode(int signal, const siginfo_t* info) {
  switch (signal) {
    case SIGFPE:
      switch (info->si_code) {
        case FPE_INTDIV: return kQVExceptionIntDivideByZero;
        case FPE_INTOVF: return kQVExceptionIntOverflow;
        default: return kQVExceptionFloatDivideByZero;
      }
    case SIGILL: return kQVExceptionIllegalInstruction;
    case SIGBUS: return kQVExceptionDatatypeMisalignment;
    default: return kQVExceptionAccessViolation;
  }
}

// Gives the signal the effect it would have had without us.
void ChainToPrevious(int signal, siginfo_t* info, void* context) {
  for (int i = 0; i < 4; ++i) {
    if (kFaultSignals[i] != signal) continue;
    const struct sigaction& previous = gPreviousActions[i];
    if (previous.sa_flags & SA_SIGINFO) {
      previous.sa_sigaction(signal, info, context);
      return;
    }
    if (previous.sa_handler == SIG_IGN) return;
    if (previous.sa_handler != SIG_DFL) {
      previous.sa_handler(signal);
      return;
    }
  }
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

void OnFault(int signal, siginfo_t* info, void* context) {
  if (QVTranslatorFunction translator = tTranslator) {
    const QVStructuredException exception{ExceptionCode(signal, info), signal, info->si_addr};
    translator(&exception);  // throws through the faulting frame, or returns
  }
  ChainToPrevious(signal, info, context);
}

void InstallHandler() {
  for (int i = 0; i < 4; ++i) {
    struct sigaction action = {};
    action.sa_sigaction = OnFault;
    // SA_NODEFER: the handler is left by a throw, not by sigreturn, so the signal
    // must not stay blocked.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(kFaultSignals[i], &action, &gPreviousActions[i]);
  }
}

// Inside the catch block of what the terminate handler threw: its one line on stderr.
void ReportEscapedException() {
  char line[512] = "";
  bool described = false;
  if (QVExceptionDescriber describer = tDescriber) {
    try {
      described = describer(line, sizeof line);
    } catch (...) {
      described = false;
    }
  }
  if (!described) {
    try {
      throw;
    } catch (const std::exception& error) {
      std::snprintf(line, sizeof line, "%s", error.what());
    } catch (...) {
      const std::type_info* type = abi::__cxa_current_exception_type();
      int status = -1;
      char* name = type ? abi::__cxa_demangle(type->name(), nullptr, nullptr, &status) : nullptr;
      std::snprintf(line, sizeof line, "an exception of type %s",
                    status == 0 && name ? name : type ? type->name() : "(unknown)");
      std::free(name);
    }
  }
  std::fprintf(stderr, "terminate: the thread's terminate handler threw %s; aborting\n", line);
  std::fflush(stderr);
}

// The handler's throw cannot leave std::terminate: it is caught here and reported.
[[noreturn]] void DispatchTerminate() {
  if (QVTerminateFunction handler = tTerminate) {
    try {
      handler();
    } catch (...) {
      ReportEscapedException();
    }
  }
  std::abort();
}

struct TerminateDispatchInstaller {
  TerminateDispatchInstaller() { std::set_terminate(DispatchTerminate); }
} gTerminateDispatchInstaller;

}  // namespace

uint32_t QVPlatform_SetErrorMode(uint32_t mode) { return gErrorMode.exchange(mode); }

QVTranslatorFunction QVPlatform_SetTranslator(QVTranslatorFunction translator) {
  if (translator) std::call_once(gHandlerInstalled, InstallHandler);
  QVTranslatorFunction previous = tTranslator;
  tTranslator = translator;
  return previous;
}

QVTranslatorFunction QVPlatform_GetTranslator() { return tTranslator; }

QVTerminateFunction QVPlatform_SetTerminateHandler(QVTerminateFunction handler) {
  QVTerminateFunction previous = tTerminate;
  tTerminate = handler;
  return previous;
}

QVTerminateFunction QVPlatform_GetTerminateHandler() { return tTerminate; }

QVExceptionDescriber QVPlatform_SetExceptionDescriber(QVExceptionDescriber describer) {
  QVExceptionDescriber previous = tDescriber;
  tDescriber = describer;
  return previous;
}
