#pragma once

#include <QColor>
#include <QRect>
#include <QVector>

// The per-pixel colour treatment of a background mode (multiply by a tint, grey, invert and
// screen a fill, in that order), prepared once and applied to rows of packed 0xAARRGGBB pixels.
// Every step maps each pixel on its own, so a row can be treated in any order, in spans, or
// before the rest of the image exists; the result is the same integer arithmetic either way.
// Const and stateless after construction: any thread may use one.
class ColorTreatment final
{
public:
    // flags and color as RenderParam holds them; bits other than the treating ones are ignored.
    ColorTreatment(int flags, const QColor &color);

    // Whether the treatment leaves every pixel as it is.
    bool isIdentity() const { return m_steps == 0; }
    // What an opaque white pixel becomes: the treated page background.
    quint32 treatedWhite() const { return m_white; }

    void apply(quint32 *pixels, int count) const;
    // Treats the pixels from..to-1 of row y, but those inside any of the kept rectangles.
    void applyToRow(quint32 *row, int y, int from, int to, const QVector<QRect> &kept) const;

private:
    quint32 treatOne(quint32 pixel) const;

    int m_steps = 0;
    // Per channel in memory order B, G, R, A; alpha goes through each step with 255.
    int m_multiply[4] = { 255, 255, 255, 255 };
    int m_screen[4] = { 255, 255, 255, 255 };
    quint32 m_white = 0xFFFFFFFFu;
};
