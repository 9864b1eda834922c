#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

namespace lumo {

enum Anchor { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using Anchors = int;

// Keeps children at their design places and follows a resize of their parent the way
// anchored controls do: an edge anchored to the parent's far side keeps its distance to it.
class AnchorSet {
public:
    explicit AnchorSet(QSize designParentSize) : FDesign(designParentSize) {}
    void add(QWidget* child, QRect designRect, Anchors anchors);
    // Places the children for a parent area of `parentSize` whose top left corner lies at
    // `origin` in the parent (below a menu bar, for instance).
    void apply(QSize parentSize, QPoint origin = {}) const;

private:
    struct Entry {
        QWidget* widget;
        QRect rect;
        Anchors anchors;
    };
    QSize FDesign;
    std::vector<Entry> FEntries;
};

} // namespace lumo
