#pragma once
// The eight tilt directions as the stone is seen face up: numbered clockwise
// from the top, 1 tilting the image's top edge away from the viewer (x tilt),
// 3 tipping the table towards the right (y tilt).
#include <QWidget>

namespace zep {

class DirectionPicture : public QWidget {
public:
    explicit DirectionPicture(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace zep
