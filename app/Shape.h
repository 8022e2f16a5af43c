#pragma once

#include <QWidget>

// A filled figure drawn under the other controls of a page: the hatched page backgrounds and the
// small marker beside the help strip. It takes no input.
class TShape : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(Shape shape READ shape WRITE setShape)
    Q_PROPERTY(QColor brushColor READ brushColor WRITE setBrushColor)
    Q_PROPERTY(Qt::BrushStyle brushStyle READ brushStyle WRITE setBrushStyle)
    Q_PROPERTY(Qt::PenStyle penStyle READ penStyle WRITE setPenStyle)

public:
    enum Shape
    {
        Rectangle,
        Circle
    };
    Q_ENUM(Shape)

    explicit TShape(QWidget* parent = nullptr);

    Shape shape() const { return shape_; }
    void setShape(Shape shape);
    QColor brushColor() const { return brushColor_; }
    void setBrushColor(const QColor& color);
    Qt::BrushStyle brushStyle() const { return brushStyle_; }
    void setBrushStyle(Qt::BrushStyle style);
    Qt::PenStyle penStyle() const { return penStyle_; }
    void setPenStyle(Qt::PenStyle style);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The page background: a white diagonal cross-hatch without outline.
    Shape shape_ = Rectangle;
    QColor brushColor_ = Qt::white;
    Qt::BrushStyle brushStyle_ = Qt::DiagCrossPattern;
    Qt::PenStyle penStyle_ = Qt::NoPen;
};
