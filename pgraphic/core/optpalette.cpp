// Palette reduction: median cut over a 5-6-5 histogram for 24-bit sources, an
// octree over the used palette entries for palette sources.

#include "pgraphic/core/optpalette.h"

#include <algorithm>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "pgraphic/core/pixelgraphic.h"

namespace {

constexpr int MaxPaletteSize = 256;

// ---------------------------------------------------------------- median cut

constexpr int AxisCells[3] = {32, 64, 32};  // red, green, blue cells
constexpr int AxisScale[3] = {16, 12, 16};  // cell size weighting of a span
constexpr int CellSize[3] = {8, 4, 8};

class Histogram {
 public:
  Histogram() : Counts(size_t(32) * 64 * 32, 0) {}
  std::uint16_t At(const int c[3]) const { return Counts[Index(c[0], c[1], c[2])]; }
  // Counters stop at their top instead of wrapping.
  void Add(int r, int g, int b) {
    std::uint16_t& n = Counts[Index(r / 8, g / 4, b / 8)];
    if (n < 65535) ++n;
  }

 private:
  static size_t Index(int r, int g, int b) { return (size_t(r) * 64 + size_t(g)) * 32 + size_t(b); }
  std::vector<std::uint16_t> Counts;
};

struct Box {
  int Lo[3] = {0, 0, 0};
  int Hi[3] = {AxisCells[0] - 1, AxisCells[1] - 1, AxisCells[2] - 1};

  std::int64_t Volume() const {
    std::int64_t v = 0;
    for (int a = 0; a < 3; ++a)
      v += std::int64_t(Hi[a] - Lo[a]) * AxisScale[a] * (Hi[a] - Lo[a]) * AxisScale[a];
    return v;
  }
  std::int64_t Cells() const {
    std::int64_t n = 1;
    for (int a = 0; a < 3; ++a) n *= Hi[a] - Lo[a] + 1;
    return n;
  }
};

// Calls f(cell) for every cell of the box.
template <class F>
void ForEachCell(const Box& box, F f) {
  int c[3];
  for (c[0] = box.Lo[0]; c[0] <= box.Hi[0]; ++c[0])
    for (c[1] = box.Lo[1]; c[1] <= box.Hi[1]; ++c[1])
      for (c[2] = box.Lo[2]; c[2] <= box.Hi[2]; ++c[2]) f(c);
}

// Shrinks the box to its occupied cells; false when it has none.
bool Shrink(Box& box, const Histogram& h) {
  Box found;
  bool any = false;
  ForEachCell(box, [&](const int c[3]) {
    if (h.At(c) == 0) return;
    for (int a = 0; a < 3; ++a) {
      found.Lo[a] = any ? std::min(found.Lo[a], c[a]) : c[a];
      found.Hi[a] = any ? std::max(found.Hi[a], c[a]) : c[a];
    }
    any = true;
  });
  if (any) box = found;
  return any;
}

// While boxes are few the most populous in cells is split, later the largest.
int PickBox(const std::vector<Box>& boxes, int wanted) {
  const bool byVolume = wanted < 2 * int(boxes.size());
  int best = -1;
  std::int64_t bestKey = 0;
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].Volume() == 0) continue;
    const std::int64_t key = byVolume ? boxes[i].Volume() : boxes[i].Cells();
    if (best < 0 || key > bestKey) best = int(i), bestKey = key;
  }
  return best;
}

// Green wins draws against red and blue, red wins a draw against blue.
int SplitAxis(const Box& box) {
  int extent[3];
  for (int a = 0; a < 3; ++a) extent[a] = (box.Hi[a] - box.Lo[a]) * AxisScale[a];
  if (extent[1] >= extent[0] && extent[1] >= extent[2]) return 1;
  return extent[0] >= extent[2] ? 0 : 2;
}

void SplitBox(std::vector<Box>& boxes, int i, const Histogram& h) {
  const int axis = SplitAxis(boxes[i]);
  const int mid = (boxes[i].Lo[axis] + boxes[i].Hi[axis]) / 2;
  Box high = boxes[i];
  boxes[i].Hi[axis] = mid;
  high.Lo[axis] = mid + 1;
  Shrink(boxes[i], h);
  Shrink(high, h);
  boxes.push_back(high);
}

TRGB MeanColor(const Box& box, const Histogram& h) {
  std::uint64_t sum[3] = {0, 0, 0}, total = 0;
  ForEachCell(box, [&](const int c[3]) {
    const std::uint64_t n = h.At(c);
    total += n;
    for (int a = 0; a < 3; ++a) sum[a] += n * std::uint64_t(CellSize[a] * c[a] + CellSize[a] / 2);
  });
  if (total == 0) return 0;
  unsigned mean[3];
  for (int a = 0; a < 3; ++a) mean[a] = unsigned((sum[a] + total / 2) / total);
  return RGBColor(mean[0], mean[1], mean[2]);
}

// Counts the source's pixels; an abort keeps the rows counted so far.
void CountTrueColors(TPixelGraphic& target, TPixelGraphic& source, Histogram& h) {
  target.DoProgressStart();
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* row = source.ScanLine(y);
    for (int x = 0; x < source.Width(); ++x) h.Add(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    if (target.DoProgress(y, source.Height() - 1)) break;
  }
  target.DoProgressEnd();
}

std::vector<TRGB> MedianCut(TPixelGraphic& target, TPixelGraphic& source, int wanted) {
  Histogram h;
  CountTrueColors(target, source, h);
  std::vector<Box> boxes(1);
  if (!Shrink(boxes[0], h)) return {};
  while (int(boxes.size()) < wanted) {
    const int i = PickBox(boxes, wanted);
    if (i < 0) break;
    SplitBox(boxes, i, h);
  }
  std::vector<TRGB> palette;
  for (const Box& box : boxes) palette.push_back(MeanColor(box, h));
  return palette;
}

// ---------------------------------------------------------------- octree

struct OctNode {
  OctNode(int level, bool leaf) : Level(level), Leaf(leaf) {}
  int Level;
  bool Leaf;
  bool Listed = false;
  std::uint64_t Sum[3] = {0, 0, 0};
  std::uint64_t Weight = 0;
  std::unique_ptr<OctNode> Child[8];

  int ChildCount() const {
    return int(std::count_if(std::begin(Child), std::end(Child),
                             [](const auto& c) { return c != nullptr; }));
  }
  std::uint64_t ReduceKey() const { return 2 * Sum[0] + 3 * Sum[1] + Sum[2]; }
};

class Octree {
 public:
  explicit Octree(int maxLeaves) : MaxLeaves(maxLeaves) {}

  void Insert(TRGB color, std::uint64_t weight) {
    const unsigned rgb[3] = {GetRValue(color), GetGValue(color), GetBValue(color)};
    OctNode* node = &Root;
    for (;;) {
      for (int a = 0; a < 3; ++a) node->Sum[a] += weight * rgb[a];
      node->Weight += weight;
      if (node->Leaf || node->Level >= MaxDepth) break;
      node = Descend(*node, rgb);
    }
    if (Leaves > MaxLeaves) Reduce();
  }

  void Collect(std::vector<TRGB>& out) const { Collect(Root, out); }

 private:
  OctNode* Descend(OctNode& node, const unsigned rgb[3]) {
    const int bit = 7 - node.Level;
    const int i =
        int(((rgb[0] >> bit) & 1) * 4 + ((rgb[1] >> bit) & 1) * 2 + ((rgb[2] >> bit) & 1));
    std::unique_ptr<OctNode>& child = node.Child[i];
    if (!child) {
      const bool leaf = node.Level + 1 >= MaxDepth;
      child = std::make_unique<OctNode>(node.Level + 1, leaf);
      if (leaf) ++Leaves;
    } else if (node.ChildCount() > 1 && !node.Listed) {
      node.Listed = true;
      Reducible[node.Level].push_front(&node);
    }
    return child.get();
  }

  void Reduce() {
    OctNode* node = TakeListed();
    if (!node) node = DeepestBranch();
    if (!node) return;
    Leaves -= CountLeaves(*node) - 1;
    for (auto& c : node->Child) c.reset();
    node->Leaf = true;
    if (node->Level < MaxDepth - 1) MaxDepth = node->Level + 1;
  }

  OctNode* TakeListed() {
    for (int level = 7; level >= 0; --level) {
      std::list<OctNode*>& list = Reducible[level];
      if (list.empty()) continue;
      auto best = list.begin();
      for (auto it = list.begin(); it != list.end(); ++it)
        if ((*it)->ReduceKey() < (*best)->ReduceKey()) best = it;
      OctNode* node = *best;
      list.erase(best);
      node->Listed = false;
      return node;
    }
    return nullptr;
  }

  // Branching nodes are listed only when a later colour passes through them,
  // so a few colours that part at once can outnumber the wanted leaves with
  // nothing listed; the deepest branching node is merged then, so the palette
  // never grows past its size.
  OctNode* DeepestBranch() {
    OctNode* best = nullptr;
    FindBranch(Root, best);
    return best;
  }

  static void FindBranch(OctNode& node, OctNode*& best) {
    if (node.Leaf) return;
    if (node.ChildCount() > 1 &&
        (!best || node.Level > best->Level ||
         (node.Level == best->Level && node.ReduceKey() < best->ReduceKey())))
      best = &node;
    for (auto& c : node.Child)
      if (c) FindBranch(*c, best);
  }

  static int CountLeaves(const OctNode& node) {
    if (node.Leaf) return 1;
    int n = 0;
    for (const auto& c : node.Child)
      if (c) n += CountLeaves(*c);
    return n;
  }

  static void Collect(const OctNode& node, std::vector<TRGB>& out) {
    if (node.Leaf) {
      const std::uint64_t w = std::max<std::uint64_t>(node.Weight, 1);
      out.push_back(RGBColor(unsigned(node.Sum[0] / w), unsigned(node.Sum[1] / w),
                             unsigned(node.Sum[2] / w)));
      return;
    }
    for (const auto& c : node.Child)
      if (c) Collect(*c, out);
  }

  int MaxLeaves;
  int MaxDepth = 8;
  int Leaves = 0;
  OctNode Root{0, false};
  std::list<OctNode*> Reducible[8];
};

// Pixels per palette index; values past the palette (possible in files with
// short palettes) are not counted.
std::vector<std::uint64_t> CountIndices(TPixelGraphic& target, TPixelGraphic& source) {
  std::vector<std::uint64_t> counts(size_t(source.PaletteCount()), 0);
  target.DoProgressStart();
  for (int y = 0; y < source.Height(); ++y) {
    for (int x = 0; x < source.Width(); ++x) {
      const std::uint32_t i = source.GetPixel(x, y);
      if (i < counts.size()) ++counts[i];
    }
    if (target.DoProgress(y, source.Height() - 1)) break;
  }
  target.DoProgressEnd();
  return counts;
}

std::vector<TRGB> OctreeReduce(TPixelGraphic& target, TPixelGraphic& source, int wanted) {
  const std::vector<std::uint64_t> counts = CountIndices(target, source);
  Octree tree(wanted);
  for (size_t i = 0; i < counts.size(); ++i)
    if (counts[i] > 0) tree.Insert(source.GetPaletteEntry(int(i)), counts[i]);
  std::vector<TRGB> palette;
  tree.Collect(palette);
  return palette;
}

void StorePalette(TPixelGraphic& target, const std::vector<TRGB>& palette) {
  target.SetPaletteCount(0);
  target.SetPaletteCount(int(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) target.SetPaletteEntry(int(i), palette[i]);
}

}  // namespace

// The source is read completely before the target's palette changes, so an
// image may reduce its own palette.
void BuildOptimizedPalette(TPixelGraphic& target, TPixelGraphic& source, int colors,
                           bool withSys16) {
  target.FlushPending();
  colors = std::min(colors, MaxPaletteSize);
  const int wanted = withSys16 ? colors - 16 : colors;
  if (source.Empty() || wanted < 1) {
    target.SetPaletteIdent(pSys16);
    target.SetPaletteCount(std::clamp(colors, 0, 16));
    return;
  }
  std::vector<TRGB> palette = source.PixelFormat() == pgpf24Bit
                                  ? MedianCut(target, source, wanted)
                                  : OctreeReduce(target, source, wanted);
  for (int i = 0; withSys16 && i < 16 && int(palette.size()) < colors; ++i)
    palette.push_back(Sys16Colors[i]);
  StorePalette(target, palette);
}
