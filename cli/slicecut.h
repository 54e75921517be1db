#pragma once
// The cut tessel-cli slice exports: the lines of the grid file, with the
// texts and cells beside it, then --vert and --horz, then the texts of
// --tags and the cells of --cells, all fitted to the image as the window
// fits them (app/cut/gridfit.h): every line once, what belongs to cells
// following the lines from those its file was written for.

#include <string>
#include <vector>

#include "app/cut/griddata.h"
#include "cli/cli.h"

struct TSliceInputs {
  std::string Grid, Tags, Cells;  // "-": standard input; empty: none
  std::vector<std::string> Vert, Horz;
  // A grid that does not fit the image is an error, not a warning.
  bool Strict = false;
};
// The inputs of the command line; raises TCliUsageError when more than one
// of them would read standard input.
TSliceInputs SliceInputsOf(const TCliParsed& parsed);

struct TSliceCut {
  TGridData Cut;
  // What to say, in order, and the first of it that --strict refuses (a
  // grid that does not fit the image), or empty.
  std::vector<std::string> Warnings;
  std::string Misfit;
};

// The cut for an image of width x height. Raises what the files raise
// (naming file and line) and TCliUsageError for a --vert or --horz list
// that is not numbers.
TSliceCut BuildCut(const TSliceInputs& inputs, int width, int height);
