#include "tools/skinc/SkinPainter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace skinc {

namespace {

// 4 x 4 ordered dither thresholds.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

uint32_t argbAt(cairo_surface_t* surface, int x, int y)
{
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    uint32_t v;
    std::memcpy(&v, data + static_cast<size_t>(y) * stride + 4 * static_cast<size_t>(x), 4);
    return v;
}

int unpremultiply(int c, int a)
{
    return a == 0 ? 0 : std::min(255, (c * 255 + a / 2) / a);
}

}  // namespace

Canvas::Canvas(int width, int height) : width_(width), height_(height)
{
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, width), std::max(1, height));
    cr_ = cairo_create(surface_);
    // Small pictures: grey antialiasing, hinted outlines and whole-pixel advances.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);
}

Canvas::~Canvas()
{
    if (cr_) cairo_destroy(cr_);
    if (surface_) cairo_surface_destroy(surface_);
}

uint8_t Canvas::alphaAt(int x, int y) const
{
    cairo_surface_flush(surface_);
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return static_cast<uint8_t>(argbAt(surface_, x, y) >> 24);
}

void Canvas::ditherInPlace()
{
    cairo_surface_flush(surface_);
    unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            uint32_t v;
            unsigned char* p = data + static_cast<size_t>(y) * stride + 4 * static_cast<size_t>(x);
            std::memcpy(&v, p, 4);
            if ((v >> 24) != 255) continue;
            uint32_t out = 0xFF000000u;
            for (int shift = 16; shift >= 0; shift -= 8) {
                const int level = to5(static_cast<int>((v >> shift) & 255), x, y, true);
                out |= static_cast<uint32_t>((level * 255 + 15) / 31) << shift;
            }
            std::memcpy(p, &out, 4);
        }
    }
    cairo_surface_mark_dirty(surface_);
}

int to5(int value8, int x, int y, bool dither)
{
    if (!dither) return (value8 * 31 + 127) / 255;
    const int t = kBayer[y & 3][x & 3];
    return std::min(31, (value8 * 31 * 32 + (2 * t + 1) * 255) / (255 * 32));
}

uint16_t pixel555(int r8, int g8, int b8, int x, int y, bool dither)
{
    return static_cast<uint16_t>((to5(r8, x, y, dither) << 10) | (to5(g8, x, y, dither) << 5) |
                                 to5(b8, x, y, dither));
}

Picture Canvas::toPicture(bool dither, bool withMask) const
{
    cairo_surface_flush(surface_);
    Picture p;
    p.width = width_;
    p.height = height_;
    p.pixels.resize(static_cast<size_t>(width_) * height_);
    if (withMask) p.mask.resize(p.pixels.size());
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const uint32_t v = argbAt(surface_, x, y);
            const int a = static_cast<int>(v >> 24);
            int r = (v >> 16) & 255, g = (v >> 8) & 255, b = v & 255;
            const size_t i = static_cast<size_t>(y) * width_ + x;
            if (withMask) {
                p.mask[i] = static_cast<uint8_t>(255 - a);
                r = unpremultiply(r, a);
                g = unpremultiply(g, a);
                b = unpremultiply(b, a);
            }
            p.pixels[i] = a == 0 && withMask ? 0 : pixel555(r, g, b, x, y, dither);
        }
    }
    return p;
}

void setColour(cairo_t* cr, const Colour& c)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double radius)
{
    const double r = std::max(0.0, std::min({radius, w / 2, h / 2}));
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void paintWell(cairo_t* cr, const Style& style, double x, double y, double w, double h)
{
    const double r = style.size("radius.well");
    roundedRect(cr, x, y, w, h, r);
    setColour(cr, style.colour("well"));
    cairo_fill(cr);
    cairo_set_line_width(cr, 1);
    roundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, r);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, y, 0, y + h);
    const Colour dark = style.colour("well.shadow");
    const Colour light = style.colour("edge.light");
    cairo_pattern_add_color_stop_rgba(g, 0, dark.r, dark.g, dark.b, dark.a);
    cairo_pattern_add_color_stop_rgba(g, 0.5, dark.r, dark.g, dark.b, 0);
    cairo_pattern_add_color_stop_rgba(g, 1, light.r, light.g, light.b, light.a);
    cairo_set_source(cr, g);
    cairo_stroke(cr);
    cairo_pattern_destroy(g);
}

void paintAccentRule(cairo_t* cr, const Style& style, const Colour& accent, double w, double header)
{
    const double line = style.size("panel.accent");
    cairo_rectangle(cr, 0, header, w, 1);
    setColour(cr, style.colour("edge.dark"));
    cairo_fill(cr);
    cairo_rectangle(cr, 0, header + 1, w, line);
    setColour(cr, accent);
    cairo_fill(cr);
    cairo_rectangle(cr, 0, header + 1 + line, w, 1);
    setColour(cr, accent.withAlpha(0.25));
    cairo_fill(cr);
}

void roundedTop(cairo_t* cr, double x, double y, double w, double h, double radius)
{
    const double r = std::max(0.0, std::min({radius, w / 2, h}));
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_line_to(cr, x + w, y + h);
    cairo_line_to(cr, x, y + h);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void fillVertical(cairo_t* cr, double y0, double y1, const Colour& top, const Colour& bottom)
{
    cairo_pattern_t* g = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgba(g, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(g, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
}

void glow(cairo_t* cr, double cx, double cy, double radius, const Colour& c)
{
    cairo_pattern_t* g = cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius);
    cairo_pattern_add_color_stop_rgba(g, 0, c.r, c.g, c.b, c.a);
    cairo_pattern_add_color_stop_rgba(g, 0.45, c.r, c.g, c.b, c.a * 0.45);
    cairo_pattern_add_color_stop_rgba(g, 1, c.r, c.g, c.b, 0);
    cairo_set_source(cr, g);
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
}

void selectFont(cairo_t* cr, const FontStyle& font)
{
    cairo_select_font_face(cr, font.family.c_str(), CAIRO_FONT_SLANT_NORMAL,
                           font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.size);
}

double textWidth(cairo_t* cr, const std::string& utf8)
{
    cairo_text_extents_t e;
    cairo_text_extents(cr, utf8.c_str(), &e);
    return e.x_advance;
}

void fontMetrics(cairo_t* cr, double& ascent, double& descent)
{
    cairo_font_extents_t e;
    cairo_font_extents(cr, &e);
    ascent = e.ascent;
    descent = e.descent;
}

void drawText(cairo_t* cr, const std::string& utf8, double x, double baseline, Align align)
{
    const double w = textWidth(cr, utf8);
    if (align == Align::Centre) x -= w / 2;
    if (align == Align::Right) x -= w;
    cairo_move_to(cr, std::round(x), std::round(baseline));
    cairo_show_text(cr, utf8.c_str());
}

bool iconFromName(const std::string& name, Icon& icon)
{
    static const struct {
        const char* name;
        Icon icon;
    } kIcons[] = {{"none", Icon::None}, {"close", Icon::Close}, {"power", Icon::Power},
                  {"stop", Icon::Stop}, {"play", Icon::Play},   {"info", Icon::Info}};
    for (const auto& i : kIcons) {
        if (name == i.name) {
            icon = i.icon;
            return true;
        }
    }
    return false;
}

void drawIcon(cairo_t* cr, Icon icon, double cx, double cy, double size, const Colour& colour)
{
    const double h = size / 2;
    cairo_save(cr);
    setColour(cr, colour);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, std::max(1.5, size / 6));
    switch (icon) {
        case Icon::None: break;
        case Icon::Close:
            cairo_move_to(cr, cx - h * 0.7, cy - h * 0.7);
            cairo_line_to(cr, cx + h * 0.7, cy + h * 0.7);
            cairo_move_to(cr, cx + h * 0.7, cy - h * 0.7);
            cairo_line_to(cr, cx - h * 0.7, cy + h * 0.7);
            cairo_stroke(cr);
            break;
        case Icon::Power:
            cairo_arc(cr, cx, cy + h * 0.08, h * 0.78, -M_PI / 2 + 0.75, 3 * M_PI / 2 - 0.75);
            cairo_stroke(cr);
            cairo_move_to(cr, cx, cy - h * 0.95);
            cairo_line_to(cr, cx, cy - h * 0.05);
            cairo_stroke(cr);
            break;
        case Icon::Stop:
            roundedRect(cr, cx - h * 0.62, cy - h * 0.62, h * 1.24, h * 1.24, h * 0.18);
            cairo_fill(cr);
            break;
        case Icon::Play:
            cairo_move_to(cr, cx - h * 0.5, cy - h * 0.75);
            cairo_line_to(cr, cx + h * 0.8, cy);
            cairo_line_to(cr, cx - h * 0.5, cy + h * 0.75);
            cairo_close_path(cr);
            cairo_fill(cr);
            break;
        case Icon::Info:
            cairo_arc(cr, cx, cy - h * 0.62, h * 0.16, 0, 2 * M_PI);
            cairo_fill(cr);
            cairo_move_to(cr, cx, cy - h * 0.2);
            cairo_line_to(cr, cx, cy + h * 0.8);
            cairo_stroke(cr);
            break;
    }
    cairo_restore(cr);
}

}  // namespace skinc
