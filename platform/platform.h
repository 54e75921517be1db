#pragma once
// Connects the image library to the Qt platform layer: warning boxes as
// QMessageBox and image drawing surfaces on QPainter. Call once after the
// QApplication exists; at application shut-down the library's drawing
// contexts are released and the hooks removed again.
void PGInstallPlatform();
