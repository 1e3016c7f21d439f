#include "pictureareas.h"

#include <backend/page.h>

#include <algorithm>
#include <cfloat>
#include <vector>

namespace Backend::MuPDF {

namespace {

// Images this thin are rules, tints or gradient strips drawn as pictures, not pictures to keep.
constexpr int kThinnestPicture = 4;
// Past this many marks a page's ink is kept as their union: a few rectangles more or less of
// treated paper do not matter next to walking that many for every render.
constexpr int kMostInkAreas = 2048;

// Unlike fz_intersect_rect, keeps a rectangle of no width or height: a hairline or a thin rule
// still draws pixels.
fz_rect cut(fz_rect a, fz_rect b)
{
    return { std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1) };
}

bool isPlace(fz_rect rect) { return rect.x0 <= rect.x1 && rect.y0 <= rect.y1; }

struct Container
{
    enum Kind { Clip, Mask, Tile };
    Kind kind;
    fz_rect bounds; // already cut by the containers below
    bool definingMask = false;
    // Where drawing inside may land: cut only by the clips below, which the rasteriser never paints
    // past, kept when thin.
    fz_rect inkBounds;
};

struct Collector
{
    std::vector<Container> stack;
    QVector<fz_rect> areas;
    QVector<fz_rect> ink;

    fz_rect clip() const { return stack.empty() ? fz_infinite_rect : stack.back().bounds; }
    fz_rect inkClip() const { return stack.empty() ? fz_infinite_rect : stack.back().inkBounds; }

    void push(Container::Kind kind, fz_rect bounds, bool definingMask = false)
    {
        // A mask's or a tile's area is where it applies, not a bound the rasteriser clips to.
        const fz_rect inkBounds = kind == Container::Clip ? cut(bounds, inkClip()) : inkClip();
        stack.push_back({ kind, fz_intersect_rect(bounds, clip()), definingMask, inkBounds });
    }

    // What is drawn inside a tiling pattern repeats over the tile's whole area.
    void addInk(fz_rect bounds)
    {
        for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
            if (it->kind == Container::Tile) {
                return;
            }
        }
        bounds = cut(bounds, inkClip());
        if (isPlace(bounds)) {
            ink.append(bounds);
        }
    }

    void pop()
    {
        if (!stack.empty()) {
            stack.pop_back();
        }
    }

    // What is drawn while a soft mask is being defined only shapes that mask; a picture drawn
    // inside a tiling pattern repeats over the tile's whole area.
    void addPicture(fz_rect bounds)
    {
        for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
            if (it->definingMask) {
                return;
            }
            if (it->kind == Container::Tile) {
                bounds = it->bounds;
                break;
            }
        }
        bounds = fz_intersect_rect(bounds, clip());
        if (!fz_is_empty_rect(bounds)) {
            areas.append(bounds);
        }
    }
};

struct AreaDevice
{
    fz_device base;
    Collector *collector;
};

Collector &collectorOf(fz_device *device) { return *reinterpret_cast<AreaDevice *>(device)->collector; }

void fillPath(fz_context *ctx, fz_device *device, const fz_path *path, int, fz_matrix ctm, fz_colorspace *,
    const float *, float, fz_color_params)
{
    collectorOf(device).addInk(fz_bound_path(ctx, path, nullptr, ctm));
}

void strokePath(fz_context *ctx, fz_device *device, const fz_path *path, const fz_stroke_state *stroke,
    fz_matrix ctm, fz_colorspace *, const float *, float, fz_color_params)
{
    collectorOf(device).addInk(fz_bound_path(ctx, path, stroke, ctm));
}

void fillText(fz_context *ctx, fz_device *device, const fz_text *text, fz_matrix ctm, fz_colorspace *,
    const float *, float, fz_color_params)
{
    collectorOf(device).addInk(fz_bound_text(ctx, text, nullptr, ctm));
}

void strokeText(fz_context *ctx, fz_device *device, const fz_text *text, const fz_stroke_state *stroke,
    fz_matrix ctm, fz_colorspace *, const float *, float, fz_color_params)
{
    collectorOf(device).addInk(fz_bound_text(ctx, text, stroke, ctm));
}

void fillShade(fz_context *ctx, fz_device *device, fz_shade *shade, fz_matrix ctm, float, fz_color_params)
{
    collectorOf(device).addInk(fz_bound_shade(ctx, shade, ctm));
}

void fillImageMask(fz_context *, fz_device *device, fz_image *, fz_matrix ctm, fz_colorspace *, const float *,
    float, fz_color_params)
{
    collectorOf(device).addInk(fz_transform_rect(fz_unit_rect, ctm));
}

void fillImage(fz_context *, fz_device *device, fz_image *image, fz_matrix ctm, float alpha, fz_color_params)
{
    collectorOf(device).addInk(fz_transform_rect(fz_unit_rect, ctm));
    if (alpha <= 0 || image->w < kThinnestPicture || image->h < kThinnestPicture) {
        return;
    }
    collectorOf(device).addPicture(fz_transform_rect(fz_unit_rect, ctm));
}

void clipPath(fz_context *ctx, fz_device *device, const fz_path *path, int, fz_matrix ctm, fz_rect scissor)
{
    collectorOf(device).push(
        Container::Clip, fz_intersect_rect(fz_bound_path(ctx, path, nullptr, ctm), scissor));
}

void clipStrokePath(fz_context *ctx, fz_device *device, const fz_path *path, const fz_stroke_state *stroke,
    fz_matrix ctm, fz_rect scissor)
{
    collectorOf(device).push(
        Container::Clip, fz_intersect_rect(fz_bound_path(ctx, path, stroke, ctm), scissor));
}

void clipText(fz_context *ctx, fz_device *device, const fz_text *text, fz_matrix ctm, fz_rect scissor)
{
    collectorOf(device).push(
        Container::Clip, fz_intersect_rect(fz_bound_text(ctx, text, nullptr, ctm), scissor));
}

void clipStrokeText(fz_context *ctx, fz_device *device, const fz_text *text, const fz_stroke_state *stroke,
    fz_matrix ctm, fz_rect scissor)
{
    collectorOf(device).push(
        Container::Clip, fz_intersect_rect(fz_bound_text(ctx, text, stroke, ctm), scissor));
}

void clipImageMask(fz_context *, fz_device *device, fz_image *, fz_matrix ctm, fz_rect scissor)
{
    collectorOf(device).push(
        Container::Clip, fz_intersect_rect(fz_transform_rect(fz_unit_rect, ctm), scissor));
}

void popClip(fz_context *, fz_device *device) { collectorOf(device).pop(); }

void beginMask(
    fz_context *, fz_device *device, fz_rect area, int, fz_colorspace *, const float *, fz_color_params)
{
    collectorOf(device).push(Container::Mask, area, true);
}

void endMask(fz_context *, fz_device *device)
{
    Collector &collector = collectorOf(device);
    if (!collector.stack.empty()) {
        collector.stack.back().definingMask = false;
    }
}

// The area comes in the pattern's space; the page sees it through the pattern's matrix.
int beginTile(fz_context *, fz_device *device, fz_rect area, fz_rect, float, float, fz_matrix ctm, int)
{
    const fz_rect onPage = fz_transform_rect(area, ctm);
    collectorOf(device).addInk(onPage);
    collectorOf(device).push(Container::Tile, onPage);
    return 0;
}

void endTile(fz_context *, fz_device *device) { collectorOf(device).pop(); }

// Null when the library cannot make it.
fz_device *newAreaDevice(fz_context *ctx, Collector *collector)
{
    AreaDevice *device = nullptr;
    fz_var(device);
    fz_try(ctx) { device = fz_new_derived_device(ctx, AreaDevice); }
    fz_catch(ctx) { return nullptr; }
    device->collector = collector;
    device->base.fill_path = fillPath;
    device->base.stroke_path = strokePath;
    device->base.fill_text = fillText;
    device->base.stroke_text = strokeText;
    device->base.fill_shade = fillShade;
    device->base.fill_image = fillImage;
    device->base.fill_image_mask = fillImageMask;
    device->base.clip_path = clipPath;
    device->base.clip_stroke_path = clipStrokePath;
    device->base.clip_text = clipText;
    device->base.clip_stroke_text = clipStrokeText;
    device->base.clip_image_mask = clipImageMask;
    device->base.pop_clip = popClip;
    device->base.begin_mask = beginMask;
    device->base.end_mask = endMask;
    device->base.begin_tile = beginTile;
    device->base.end_tile = endTile;
    return &device->base;
}

} // namespace

PageAreas findPageAreas(fz_context *ctx, fz_display_list *list, const fz_rect &pageBounds)
{
    PageAreas found;
    if (!list || fz_is_empty_rect(pageBounds)) {
        return found;
    }
    const QRectF wholePage(0, 0, pageBounds.x1 - pageBounds.x0, pageBounds.y1 - pageBounds.y0);
    const auto onPage = [&pageBounds](const fz_rect &rect) {
        return QRectF(rect.x0 - pageBounds.x0, rect.y0 - pageBounds.y0, rect.x1 - rect.x0, rect.y1 - rect.y0);
    };
    Collector collector;
    fz_device *device = newAreaDevice(ctx, &collector);
    if (!device) {
        found.ink = { wholePage };
        return found;
    }
    fz_try(ctx)
    {
        fz_run_display_list(ctx, list, device, fz_identity, pageBounds, nullptr);
        fz_close_device(ctx, device);
    }
    fz_always(ctx) { fz_drop_device(ctx, device); }
    fz_catch(ctx)
    {
        qWarning("finding the pictures of a page failed");
        found.ink = { wholePage };
        return found;
    }

    found.ink.reserve(std::min(int(collector.ink.size()), kMostInkAreas));
    fz_rect allInk { FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX };
    for (const fz_rect &mark : qAsConst(collector.ink)) {
        const fz_rect inked = cut(mark, pageBounds);
        if (isPlace(inked)) {
            found.ink.append(onPage(inked));
            allInk = { std::min(allInk.x0, inked.x0), std::min(allInk.y0, inked.y0),
                std::max(allInk.x1, inked.x1), std::max(allInk.y1, inked.y1) };
        }
    }
    if (found.ink.size() > kMostInkAreas) {
        found.ink = { onPage(allInk) };
    }

    const double pageArea = double(pageBounds.x1 - pageBounds.x0) * double(pageBounds.y1 - pageBounds.y0);
    found.pictures.reserve(collector.areas.size());
    for (const fz_rect &picture : qAsConst(collector.areas)) {
        const fz_rect shown = fz_intersect_rect(picture, pageBounds);
        if (fz_is_empty_rect(shown)) {
            continue;
        }
        const double covered = double(shown.x1 - shown.x0) * double(shown.y1 - shown.y0);
        if (covered >= Backend::Page::ScannedPageCoverage * pageArea) {
            found.pictures.clear();
            break;
        }
        found.pictures.append(onPage(shown));
    }
    return found;
}

} // namespace Backend::MuPDF
