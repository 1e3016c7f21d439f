#include "pictureareas.h"

#include <backend/page.h>

#include <vector>

namespace Backend::MuPDF {

namespace {

// Images this thin are rules, tints or gradient strips drawn as pictures, not pictures to keep.
constexpr int kThinnestPicture = 4;

struct Container
{
    enum Kind { Clip, Mask, Tile };
    Kind kind;
    fz_rect bounds; // already cut by the containers below
    bool definingMask = false;
};

struct Collector
{
    std::vector<Container> stack;
    QVector<fz_rect> areas;

    fz_rect clip() const { return stack.empty() ? fz_infinite_rect : stack.back().bounds; }

    void push(Container::Kind kind, fz_rect bounds, bool definingMask = false)
    {
        stack.push_back({ kind, fz_intersect_rect(bounds, clip()), definingMask });
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

void fillImage(fz_context *, fz_device *device, fz_image *image, fz_matrix ctm, float alpha, fz_color_params)
{
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

int beginTile(fz_context *, fz_device *device, fz_rect area, fz_rect, float, float, fz_matrix, int)
{
    collectorOf(device).push(Container::Tile, area);
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
    device->base.fill_image = fillImage;
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

QVector<QRectF> findPictureAreas(fz_context *ctx, fz_display_list *contents, const fz_rect &pageBounds)
{
    if (!contents || fz_is_empty_rect(pageBounds)) {
        return {};
    }
    Collector collector;
    fz_device *device = newAreaDevice(ctx, &collector);
    if (!device) {
        return {};
    }
    fz_try(ctx)
    {
        fz_run_display_list(ctx, contents, device, fz_identity, pageBounds, nullptr);
        fz_close_device(ctx, device);
    }
    fz_always(ctx) { fz_drop_device(ctx, device); }
    fz_catch(ctx)
    {
        qWarning("finding the pictures of a page failed");
        return {};
    }

    const double pageArea = double(pageBounds.x1 - pageBounds.x0) * double(pageBounds.y1 - pageBounds.y0);
    QVector<QRectF> areas;
    areas.reserve(collector.areas.size());
    for (const fz_rect &found : qAsConst(collector.areas)) {
        const fz_rect onPage = fz_intersect_rect(found, pageBounds);
        if (fz_is_empty_rect(onPage)) {
            continue;
        }
        const double covered = double(onPage.x1 - onPage.x0) * double(onPage.y1 - onPage.y0);
        if (covered >= Backend::Page::ScannedPageCoverage * pageArea) {
            return {};
        }
        areas.append(QRectF(onPage.x0 - pageBounds.x0, onPage.y0 - pageBounds.y0, onPage.x1 - onPage.x0,
            onPage.y1 - onPage.y0));
    }
    return areas;
}

} // namespace Backend::MuPDF
