#pragma once
// What the JPEG and PNG layers share about running a C codec.
//
// The codecs report errors and warnings by calling our handlers from inside
// their C frames, where no C++ exception may pass. So every handler runs our
// C++ code through Guarded, which catches whatever it throws into the
// session's Failure, and then leaves the codec with Bail: a longjmp back to
// the one small Run* function of the entry point. That function, and every
// frame between it and the handler, holds no object with a destructor. It
// releases the codec objects; the entry point then rethrows the remembered
// exception from plain C++ frames (RethrowFailure).

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "pgraphic/core/messages.h"
#include "pgraphic/core/pixelgraphic.h"
#include "pgraphic/core/stream.h"
#include "pgraphic/core/uihooks.h"

namespace pgcodec {

struct TSession {
  TStream* Stream = nullptr;
  TPixelGraphic* Image = nullptr;
  TPGWarningAction Warnings = pgwaRaise;
  bool InRowLoop = false;
  bool Aborted = false;
  std::jmp_buf Jump;
  std::exception_ptr Failure;
};

// Runs f; an exception it throws is remembered (the first one wins).
template <class F>
bool Guarded(TSession& s, F&& f) noexcept {
  try {
    f();
    return true;
  } catch (...) {
    if (!s.Failure) s.Failure = std::current_exception();
    return false;
  }
}

// Back to the setjmp of the running entry point.
[[noreturn]] inline void Bail(TSession& s) { std::longjmp(s.Jump, 1); }

// Calls one of the image's notifications; a throwing handler leaves the codec.
inline void Notify(TSession& s, void (TPixelGraphic::*event)()) {
  if (!Guarded(s, [&] { (s.Image->*event)(); })) Bail(s);
}

// Reports progress; a throwing handler leaves the codec.
inline void Progress(TSession& s, int step, int max) {
  if (!Guarded(s, [&] { s.Aborted = s.Image->DoProgress(step, max); })) Bail(s);
}

// Tells the image that a band of rows is final; a throwing handler leaves
// the codec.
inline void RowsDone(TSession& s, int top, int count) {
  if (s.Image->OnRowsDone && !Guarded(s, [&] { s.Image->DoRowsDone(top, count); })) Bail(s);
}

// After a failure: the end notification is still owed when rows were running.
inline void EndRowLoopAfterFailure(TSession& s) {
  if (!s.InRowLoop) return;
  s.InRowLoop = false;
  Guarded(s, [&] { s.Image->DoProgressEnd(); });
}

// Row n (top row first) of the image being read or written. It is asked of
// the image: a window on rows still being decoded waits for them, and rows
// kept in bands are wherever their band is. A failure on the way leaves
// the codec.
inline std::uint8_t* RowOf(TSession& s, std::uint32_t n) {
  std::uint8_t* row = nullptr;
  if (!Guarded(s, [&] { row = s.Image->ScanLine(int(n)); })) Bail(s);
  return row;
}

template <class Session>
std::unique_ptr<Session> NewSession(TStream& stream, TPixelGraphic* image, TPGWarningAction warnings) {
  auto s = std::make_unique<Session>();
  s->Stream = &stream;
  s->Image = image;
  s->Warnings = warnings;
  return s;
}

inline void RethrowFailure(const TSession& s) {
  if (s.Failure) std::rethrow_exception(s.Failure);
}

// A codec warning under the image's policy; format is "JPG" or "PNG".
template <class E>
void ActOnWarning(TPGWarningAction action, const std::string& format, const std::string& text) {
  if (action == pgwaIgnore) return;
  if (action == pgwaRaise) throw E(format + ": " + text);
  const TPGMsgButtons buttons = action == pgwaOKBox ? TPGMsgButtons::mbOK : TPGMsgButtons::mbOKCancel;
  const TPGMsgResult answer = PGWarningBox(text, buttons, format + " " + GetLangStr(msgWarning));
  if (action == pgwaOKCancelBox && answer != TPGMsgResult::mrOK)
    throw E(format + ": " + GetLangStr(msgAborted));
}

}  // namespace pgcodec
