// iconpaint OUT.png SIZE: paints the program's icon, a square SIZE pixels wide:
// a dark tile with the eight tracks as level bars inside a loop arrow.
// OUT.svg paints the same picture as a scalable icon, SIZE its nominal width.
#include <cairo-svg.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void roundedSquare(cairo_t* cr, double x, double y, double side, double radius)
{
    const double r = radius;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + side - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + side - r, y + side - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + side - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void paintTile(cairo_t* cr, double s)
{
    const double margin = s * 0.06;
    roundedSquare(cr, margin, margin, s - 2 * margin, s * 0.2);
    cairo_pattern_t* fill = cairo_pattern_create_linear(0, margin, 0, s - margin);
    cairo_pattern_add_color_stop_rgb(fill, 0, 0.16, 0.18, 0.25);
    cairo_pattern_add_color_stop_rgb(fill, 1, 0.06, 0.07, 0.10);
    cairo_set_source(cr, fill);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(fill);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
    cairo_set_line_width(cr, std::fmax(1.0, s / 64));
    cairo_stroke(cr);
}

// Open at the top right, where the arrow head points back into the circle.
void paintLoop(cairo_t* cr, double s)
{
    const double cx = s / 2, cy = s / 2, r = s * 0.3, width = s * 0.055;
    const double from = -M_PI / 2 + 0.55, to = -M_PI / 2 + 2 * M_PI - 0.35;
    cairo_pattern_t* amber = cairo_pattern_create_linear(0, cy - r, 0, cy + r);
    cairo_pattern_add_color_stop_rgb(amber, 0, 1.0, 0.72, 0.25);
    cairo_pattern_add_color_stop_rgb(amber, 1, 1.0, 0.40, 0.22);
    cairo_set_source(cr, amber);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc(cr, cx, cy, r, from, to);
    cairo_stroke(cr);

    // The head: a triangle along the circle's direction at its end.
    const double ex = cx + r * std::cos(to), ey = cy + r * std::sin(to);
    const double tx = -std::sin(to), ty = std::cos(to);  // direction of travel
    const double nx = std::cos(to), ny = std::sin(to);   // outward
    const double head = width * 1.6;
    cairo_move_to(cr, ex + tx * head * 1.2, ey + ty * head * 1.2);
    cairo_line_to(cr, ex + nx * head, ey + ny * head);
    cairo_line_to(cr, ex - nx * head, ey - ny * head);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_pattern_destroy(amber);
}

void paintTracks(cairo_t* cr, double s)
{
    static const double levels[8] = {0.55, 0.85, 0.40, 1.0, 0.70, 0.50, 0.90, 0.60};
    const double left = s * 0.335, span = s * 0.33, floor = s * 0.64, tallest = s * 0.28;
    const double pitch = span / 8, bar = pitch * 0.62;
    for (int i = 0; i < 8; ++i) {
        const double t = i / 7.0;
        const double h = tallest * levels[i];
        const double x = left + i * pitch + (pitch - bar) / 2;
        cairo_rectangle(cr, x, floor - h, bar, h);
        // From teal to violet across the tracks.
        cairo_set_source_rgb(cr, 0.20 + 0.45 * t, 0.85 - 0.45 * t, 0.80 + 0.15 * t);
        cairo_fill(cr);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: iconpaint OUT.png|OUT.svg SIZE\n");
        return 2;
    }
    const int size = std::atoi(argv[2]);
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "iconpaint: SIZE must be 16 .. 1024\n");
        return 2;
    }
    const size_t length = std::strlen(argv[1]);
    const bool svg = length > 4 && std::strcmp(argv[1] + length - 4, ".svg") == 0;
    cairo_surface_t* surface = svg ? cairo_svg_surface_create(argv[1], size, size)
                                   : cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    // Sized in the picture's own units, as icon themes expect, not in points.
    if (svg) cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_USER);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_BEST);
    paintTile(cr, size);
    paintLoop(cr, size);
    paintTracks(cr, size);
    cairo_destroy(cr);
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    if (svg) {
        // The file is written as the surface finishes.
        cairo_surface_finish(surface);
        status = cairo_surface_status(surface);
    } else {
        status = cairo_surface_write_to_png(surface, argv[1]);
    }
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "iconpaint: cannot write %s: %s\n", argv[1], cairo_status_to_string(status));
        return 1;
    }
    return 0;
}
