#pragma once
// Library start-up: runs once before any other library work.

// Checks the message table order and builds the process-wide tables.
// Safe to call many times; raises EPixelGraphic when the self-check fails.
void PGLibraryInit();
