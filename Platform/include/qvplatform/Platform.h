// Platform layer: the operating-system services the runtime relies on, one per process.
#pragma once

#include <cstdint>

#define QVPLATFORM_API extern "C" __attribute__((visibility("default")))

// ---- Code page -------------------------------------------------------------------
// The process's ANSI code page: 1252 unless a test switched it.
QVPLATFORM_API uint32_t QVPlatform_GetACP();
// Switches the process to code page `codePage`. For a double-byte code page,
// `leadByteRanges` lists inclusive (first, last) pairs ended by a zero pair; null keeps
// the built-in table of the code page (932, 936, 949, 950), or none for others.
QVPLATFORM_API void QVPlatform_SetACP(uint32_t codePage, const uint8_t* leadByteRanges);
QVPLATFORM_API bool QVPlatform_IsDBCSLeadByte(uint8_t byte);
// The next character after `p` (one or two bytes); `p` itself at the terminating zero.
QVPLATFORM_API const char* QVPlatform_CharNext(const char* p);
// Case-insensitive comparison of two zero-terminated 8-bit texts in the ANSI code page:
// negative, 0 or positive.
QVPLATFORM_API int32_t QVPlatform_CompareTextNoCase(const char* a, const char* b);

// ---- Process error mode ----------------------------------------------------------
enum : uint32_t {
  kQVErrorModeFailCriticalErrors = 0x0001,
  kQVErrorModeNoOpenFileErrorBox = 0x8000,
};
// Sets the process error mode and answers the previous one.
QVPLATFORM_API uint32_t QVPlatform_SetErrorMode(uint32_t mode);

// ---- Structured exceptions -------------------------------------------------------
// Exception codes of the processor faults the signal handler reports.
enum : uint32_t {
  kQVExceptionAccessViolation = 0xC0000005u,
  kQVExceptionIllegalInstruction = 0xC000001Du,
  kQVExceptionIntDivideByZero = 0xC0000094u,
  kQVExceptionFloatDivideByZero = 0xC000008Eu,
  kQVExceptionIntOverflow = 0xC0000095u,
  kQVExceptionDatatypeMisalignment = 0x80000002u,
  kQVExceptionBreakpoint = 0x80000003u,
};

struct QVStructuredException {
  uint32_t code;       // one of the codes above
  int signal;          // the POSIX signal that raised it
  const void* address; // faulting address, when the signal gives one
};

// A translator runs on the faulting thread, inside the signal handler; it may throw a
// language exception (module code is compiled with -fnon-call-exceptions) or return.
typedef void (*QVTranslatorFunction)(const QVStructuredException* exception);

// Makes `translator` the calling thread's translator and answers the previous one
// (null: none). The process-wide handler for SIGSEGV, SIGFPE, SIGILL and SIGBUS is
// installed with the first translator; SIGTRAP is never handled. A fault on a thread
// without a translator, or whose translator returns, keeps its default effect.
QVPLATFORM_API QVTranslatorFunction QVPlatform_SetTranslator(QVTranslatorFunction translator);

QVPLATFORM_API QVTranslatorFunction QVPlatform_GetTranslator();

typedef void (*QVTerminateFunction)();
// Makes `handler` the calling thread's terminate handler and answers the previous one.
// std::terminate on a thread calls that thread's handler, then aborts. What the handler
// throws cannot leave std::terminate: it is described in one line on stderr before the
// abort.
QVPLATFORM_API QVTerminateFunction QVPlatform_SetTerminateHandler(QVTerminateFunction handler);
QVPLATFORM_API QVTerminateFunction QVPlatform_GetTerminateHandler();

// Called inside a catch block: writes a description of the exception being handled into
// `line` (zero-terminated, at most size - 1 bytes) and answers true, or answers false for
// an exception it does not know.
typedef bool (*QVExceptionDescriber)(char* line, uint32_t size);
// Makes `describer` the calling thread's describer of what its terminate handler throws
// and answers the previous one. Without one, or for an exception it does not know, the
// line gives a standard exception's message or the exception's type.
QVPLATFORM_API QVExceptionDescriber QVPlatform_SetExceptionDescriber(QVExceptionDescriber describer);

// ---- Profile values and time -------------------------------------------------------
// Copies the profile value section/key into `buffer` (zero-terminated, at most size - 1
// bytes) or `fallback` when there is none; answers the number of bytes copied.
// Known: intl/sDecimal, the user's decimal separator (from the locale, or the
// environment variable QV_PROFILE_INTL_SDECIMAL when set).
QVPLATFORM_API uint32_t QVPlatform_GetProfileString(const char* section, const char* key,
                                                    const char* fallback, char* buffer,
                                                    uint32_t size);
// Seconds since 1970-01-01 UTC.
QVPLATFORM_API int64_t QVPlatform_CurrentTime();
