#include "platform/platform.h"

#include <QCoreApplication>

#include "pgraphic/core/library.h"
#include "platform/messagebox.h"
#include "platform/qtcanvas.h"

namespace {
TQtUiHooks g_hooks;
TQtCanvasFactory g_canvases;
bool g_installed = false;

void Uninstall() {
  FreeCanvasHandles();
  SetPGCanvasFactory(nullptr);
  if (GetPGUiHooks() == &g_hooks) SetPGUiHooks(nullptr);
  g_installed = false;
}
}  // namespace

void PGInstallPlatform() {
  PGLibraryInit();
  SetPGUiHooks(&g_hooks);
  SetPGCanvasFactory(&g_canvases);
  if (!g_installed && QCoreApplication::instance()) qAddPostRoutine(Uninstall);
  g_installed = true;
}
