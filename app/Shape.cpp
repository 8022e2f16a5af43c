#include "Shape.h"

#include <QPainter>

TShape::TShape(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void TShape::setShape(Shape shape)
{
    shape_ = shape;
    update();
}

void TShape::setBrushColor(const QColor& color)
{
    brushColor_ = color;
    update();
}

void TShape::setBrushStyle(Qt::BrushStyle style)
{
    brushStyle_ = style;
    update();
}

void TShape::setPenStyle(Qt::PenStyle style)
{
    penStyle_ = style;
    update();
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, shape_ == Circle);
    painter.setBrush(QBrush(brushColor_, brushStyle_));
    painter.setPen(penStyle_ == Qt::NoPen ? QPen(Qt::NoPen) : QPen(Qt::black, 1, penStyle_));
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (shape_ == Circle)
        painter.drawEllipse(area);
    else
        painter.drawRect(area);
}
