// Per-thread fault translator, signal handling and per-thread terminate handler.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "qvplatform/Platform.h"

namespace {

struct Fault {
  uint32_t code;
};

void ThrowingTranslator(const QVStructuredException* exception) { throw Fault{exception->code}; }
void OtherTranslator(const QVStructuredException*) {}
void ReturningTranslator(const QVStructuredException*) {}

__attribute__((noinline, no_sanitize("undefined"))) int Divide(int a, int b) { return a / b; }
__attribute__((noinline, no_sanitize("address", "undefined"))) int Read(const volatile int* p) { return *p; }

volatile int gSink;

struct Witness {
  int* counter;
  ~Witness() { ++*counter; }
};

class TranslatorTest : public ::testing::Test {
 protected:
  void SetUp() override { fSaved = QVPlatform_SetTranslator(nullptr); }
  void TearDown() override { QVPlatform_SetTranslator(fSaved); }
  QVTranslatorFunction fSaved = nullptr;
};

TEST_F(TranslatorTest, InstallAnswersThePreviousOnePerThread) {
  EXPECT_EQ(QVPlatform_SetTranslator(ThrowingTranslator), nullptr);
  EXPECT_EQ(QVPlatform_SetTranslator(OtherTranslator), ThrowingTranslator);
  EXPECT_EQ(QVPlatform_GetTranslator(), OtherTranslator);
  QVTranslatorFunction seenOnOtherThread = OtherTranslator;
  std::thread([&] { seenOnOtherThread = QVPlatform_GetTranslator(); }).join();
  EXPECT_EQ(seenOnOtherThread, nullptr);
  EXPECT_EQ(QVPlatform_SetTranslator(nullptr), OtherTranslator);
}

TEST_F(TranslatorTest, FaultsBecomeLanguageExceptionsAndUnwind) {
  QVPlatform_SetTranslator(ThrowingTranslator);
  struct Case {
    const char* name;
    uint32_t code;
    void (*fault)();
  };
  static volatile int zero = 0;
  const Case cases[] = {
      {"division by zero", kQVExceptionIntDivideByZero, [] { gSink = Divide(1, zero); }},
      {"null read", kQVExceptionAccessViolation, [] { gSink = Read(reinterpret_cast<volatile int*>(uintptr_t(zero))); }},
  };
  for (const Case& c : cases) {
    for (int repeat = 0; repeat < 2; ++repeat) {  // the signal must not stay blocked
      int unwound = 0;
      uint32_t caught = 0;
      try {
        Witness witness{&unwound};
        c.fault();
      } catch (const Fault& fault) {
        caught = fault.code;
      }
      EXPECT_EQ(caught, c.code) << c.name;
      EXPECT_EQ(unwound, 1) << c.name;
    }
  }
}

TEST_F(TranslatorTest, FaultOnThreadWithoutTranslatorKeepsItsDefaultEffect) {
  QVPlatform_SetTranslator(ThrowingTranslator);  // installs the handler; this thread only
  EXPECT_EXIT(
      {
        std::thread([] {
          static volatile int zero = 0;
          gSink = Read(reinterpret_cast<volatile int*>(uintptr_t(zero)));
        }).join();
      },
      ::testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(TranslatorTest, TranslatorThatReturnsKeepsTheDefaultEffect) {
  QVPlatform_SetTranslator(ReturningTranslator);
  static volatile int zero = 0;
  EXPECT_EXIT(gSink = Divide(1, zero), ::testing::KilledBySignal(SIGFPE), "");
}

TEST_F(TranslatorTest, BreakpointIsNeverTranslated) {
  QVPlatform_SetTranslator(ThrowingTranslator);
  EXPECT_EXIT(
      {
        try {
          __asm__ volatile("int3");
        } catch (const Fault&) {
          std::_Exit(7);
        }
      },
      ::testing::KilledBySignal(SIGTRAP), "");
}

TEST(TerminateHandlerTest, InstallAnswersThePreviousOneAndTerminateCallsIt) {
  static const QVTerminateFunction first = [] {};
  EXPECT_EQ(QVPlatform_SetTerminateHandler(first), nullptr);
  EXPECT_EQ(QVPlatform_GetTerminateHandler(), first);
  QVTerminateFunction onOtherThread = first;
  std::thread([&] { onOtherThread = QVPlatform_GetTerminateHandler(); }).join();
  EXPECT_EQ(onOtherThread, nullptr);
  EXPECT_EQ(QVPlatform_SetTerminateHandler(nullptr), first);
  EXPECT_EXIT(
      {
        QVPlatform_SetTerminateHandler([] {
          std::fputs("thread handler ran\n", stderr);
          std::_Exit(3);
        });
        std::terminate();
      },
      ::testing::ExitedWithCode(3), "thread handler ran");
}

// What the handler throws cannot leave std::terminate; the line on stderr before the
// abort is all that tells of it.
TEST(TerminateHandlerTest, WhatTheHandlerThrowsIsDescribedInOneLineBeforeTheAbort) {
  struct Case {
    const char* name;
    QVTerminateFunction handler;
    QVExceptionDescriber describer;
    const char* line;
  };
  const Case cases[] = {
      {"described",
       [] { throw Fault{0x80010004u}; },
       [](char* line, uint32_t size) {
         try {
           throw;
         } catch (const Fault& fault) {
           std::snprintf(line, size, "fault 0x%08X at here line 50", fault.code);
           return true;
         }
         return false;
       },
       "terminate: the thread's terminate handler threw fault 0x80010004 at here line 50; aborting\n"},
      {"a standard exception without a describer", [] { throw std::runtime_error("disk gone"); }, nullptr,
       "terminate: the thread's terminate handler threw disk gone; aborting\n"},
      {"a type the describer does not know", [] { throw 42; }, [](char*, uint32_t) { return false; },
       "terminate: the thread's terminate handler threw an exception of type int; aborting\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          QVPlatform_SetTerminateHandler(c.handler);
          QVPlatform_SetExceptionDescriber(c.describer);
          std::terminate();
        },
        ::testing::KilledBySignal(SIGABRT), std::string("^") + c.line + "$")
        << c.name;
  }
  EXPECT_EQ(QVPlatform_SetExceptionDescriber(nullptr), nullptr) << "set in the child processes only";
}

TEST(ErrorModeTest, SetAnswersThePreviousMode) {
  const uint32_t saved = QVPlatform_SetErrorMode(0x8001);
  EXPECT_EQ(QVPlatform_SetErrorMode(0), 0x8001u);
  QVPlatform_SetErrorMode(saved);
}

}  // namespace
