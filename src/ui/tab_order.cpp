#include "ui/tab_order.h"

#include <algorithm>

namespace hv::ui {
namespace {

// Design pixels: tops closer than this are one row (a check box and a
// button beside it differ by a few pixels).
constexpr int kRowSlack = 8;

}  // namespace

std::vector<const Control*> VisualOrder(std::vector<const Control*> controls) {
  std::stable_sort(controls.begin(), controls.end(),
                   [](const Control* a, const Control* b) { return a->FormBounds().top < b->FormBounds().top; });
  // Rows: each starts at the first control not within the slack of the
  // previous row's first; within a row, left to right.
  auto rowStart = controls.begin();
  while (rowStart != controls.end()) {
    const int top = (*rowStart)->FormBounds().top;
    auto rowEnd = std::find_if(rowStart, controls.end(),
                               [top](const Control* c) { return c->FormBounds().top - top > kRowSlack; });
    std::stable_sort(rowStart, rowEnd,
                     [](const Control* a, const Control* b) { return a->FormBounds().left < b->FormBounds().left; });
    rowStart = rowEnd;
  }
  return controls;
}

}  // namespace hv::ui
