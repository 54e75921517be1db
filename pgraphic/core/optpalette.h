#pragma once
// Reduction of an image's colours to an optimised palette.

class TPixelGraphic;

// Gives `target` a palette of at most `colors` entries (at most 256) that
// represents the colours of `source`: median cut for 24-bit sources, an octree
// for palette sources. With `withSys16` the last 16 places are kept for the
// system colours. The pixels of `target` are not touched; progress and Abort
// run through the target's progress events.
void BuildOptimizedPalette(TPixelGraphic& target, TPixelGraphic& source, int colors,
                           bool withSys16);
