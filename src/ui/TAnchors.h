#pragma once
// Anchoring of child controls placed at fixed pixel positions: a control
// keeps its distance to each edge of its parent it is anchored to. Anchored
// left and right it widens with the parent; anchored right only it moves
// with the right edge; likewise top and bottom. Unanchored sides keep the
// distance to the left and top edges.
//
// Distances are taken when a control is anchored, so anchor after the
// control and its parent have their design geometry.
//
// GUI thread only.

#include <QObject>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

enum TAnchorEdge : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

class TAnchors : public QObject {
 public:
  explicit TAnchors(QObject* parent = nullptr) : QObject(parent) {}

  // Anchors `control` to the edges in `edges` (an or of TAnchorEdge) of its
  // parent widget as it stands now.
  void Anchor(QWidget* control, unsigned edges);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct TEntry {
    QWidget* Control;
    QWidget* Parent;
    unsigned Edges;
    QRect Design;       // the control's geometry when anchored
    QSize ParentSize;   // the parent's size then
  };
  void Place(const TEntry& entry) const;
  std::vector<TEntry> Entries_;
};
