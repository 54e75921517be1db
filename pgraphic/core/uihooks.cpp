#include "pgraphic/core/uihooks.h"

#include <atomic>

#include "pgraphic/core/messages.h"

namespace {
std::atomic<TPGUiHooks*> g_hooks{nullptr};
}

void SetPGUiHooks(TPGUiHooks* hooks) { g_hooks.store(hooks); }
TPGUiHooks* GetPGUiHooks() { return g_hooks.load(); }

TPGMsgResult PGWarningBox(const std::string& text, TPGMsgButtons buttons,
                          const std::string& caption) {
  if (TPGUiHooks* h = g_hooks.load())
    return h->WarningBox(text, caption.empty() ? GetLangStr(msgWarning) : caption, buttons);
  return buttons == TPGMsgButtons::mbOK ? TPGMsgResult::mrOK : TPGMsgResult::mrCancel;
}
