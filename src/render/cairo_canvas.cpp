// SPDX-License-Identifier: MIT
#include "render/cairo_canvas.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <numbers>
#include <string>
#include <string_view>

#include "render/font_setup.h"
#include "text/utf8.h"

namespace tamsel {
namespace {

// Pango counts in ints of 1/1024 point; these bounds keep sizes, widths and
// heights far from overflowing them. Beyond them nothing is legible anyway.
constexpr double maxFontSize = 100'000;  // points
// Smaller sizes are 0 to Pango, and fontconfig divides by a size of 0 when it
// scales a bitmap face such as colour emoji. Nothing that small is visible.
constexpr double minFontSize = 1.0 / PANGO_SCALE;  // points
constexpr double maxLayoutExtent = 1'000'000;      // points

bool finite(const Rect& rect) {
  return std::isfinite(rect.x) && std::isfinite(rect.y) && std::isfinite(rect.width) &&
         std::isfinite(rect.height);
}

int pangoUnits(double points, double limit) {
  return static_cast<int>(std::clamp(points, 0.0, limit) * PANGO_SCALE);
}

// Pango font maps are not thread-safe, so every thread lays text out with
// its own; it lives as long as the thread.
PangoFontMap* threadFontMap() {
  thread_local detail::PangoFontMapHandle fontMap = [] {
    setUpFontConfig();
    detail::PangoFontMapHandle map(pango_cairo_font_map_new());
    if (const PangoFcSubstituteFunc editor = fontRequestEditor();
        editor && PANGO_IS_FC_FONT_MAP(map.get())) {
      pango_fc_font_map_set_default_substitute(PANGO_FC_FONT_MAP(map.get()), editor, nullptr,
                                               nullptr);
    }
    return map;
  }();
  return fontMap.get();
}

detail::PangoContextHandle makeContext(cairo_t* cairo) {
  detail::PangoContextHandle context(pango_font_map_create_context(threadFontMap()));
  // Unhinted outlines and unrounded positions: a page measures the same at
  // every size, only scaled.
  detail::CairoFontOptionsHandle options(cairo_font_options_create());
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context.get(), options.get());
  pango_context_set_round_glyph_positions(context.get(), FALSE);
  // Items take the default language anyway; set explicitly, it is also what
  // an ellipsis asks its font for, and so finds the fonts already loaded.
  pango_context_set_language(context.get(), pango_language_get_default());
  pango_cairo_update_context(cairo, context.get());
  return context;
}

const char* familyName(FontFamily family) {
  switch (family) {
    case FontFamily::sans:
      return "sans-serif";
    case FontFamily::serif:
      return "serif";
    case FontFamily::mono:
      return menloAvailable() ? "Menlo" : "monospace";
  }
  return "sans-serif";
}

// Pango rejects invalid UTF-8 and NUL bytes; such text is shown with U+FFFD
// in their place.
std::string validUtf8(std::string_view text) {
  std::string valid = repairedUtf8(text);
  for (std::size_t nul = valid.find('\0'); nul != std::string::npos; nul = valid.find('\0', nul)) {
    valid.replace(nul, 1, "\uFFFD");
  }
  return valid;
}

guint16 colorUnits(double component) {
  return static_cast<guint16>(std::lround(std::clamp(component, 0.0, 1.0) * 65535));
}

// Whether two texts lay out alike: all but the base colour, which drawing
// sets and measuring ignores.
bool sameLayout(const StyledText& a, const StyledText& b) {
  return a.text == b.text && a.font == b.font && a.lineHeightMultiple == b.lineHeightMultiple &&
         a.kern == b.kern && a.runs == b.runs;
}

void insertAttribute(PangoAttrList* list, PangoAttribute* attribute, std::size_t start,
                     std::size_t end) {
  attribute->start_index = static_cast<guint>(start);
  attribute->end_index = static_cast<guint>(end);
  pango_attr_list_insert(list, attribute);
}

}  // namespace

bool menloAvailable() {
  static const bool available = [] {
    setUpFontConfig();
    detail::FcPatternHandle pattern(
        FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, "Menlo", static_cast<char*>(nullptr)));
    detail::FcObjectSetHandle objects(FcObjectSetBuild(FC_FAMILY, static_cast<char*>(nullptr)));
    if (!pattern || !objects) return false;
    detail::FcFontSetHandle fonts(FcFontList(nullptr, pattern.get(), objects.get()));
    return fonts && fonts->nfont > 0;
  }();
  return available;
}

CairoCanvas::CairoCanvas(cairo_t* cairo, double height)
    : cairo_(cairo),
      height_(height),
      context_(makeContext(cairo)),
      layout_(pango_layout_new(context_.get())) {
  pango_layout_set_wrap(layout_.get(), PANGO_WRAP_WORD_CHAR);
}

Rect CairoCanvas::toCairo(const Rect& rect) const {
  return {
      .x = rect.x, .y = height_ - rect.y - rect.height, .width = rect.width, .height = rect.height};
}

void CairoCanvas::setColor(const Color& color) {
  cairo_set_source_rgba(cairo_, color.red, color.green, color.blue, color.alpha);
}

void CairoCanvas::roundedRectPath(const Rect& rect, double radius) {
  const Rect r = toCairo(rect);
  const double corner = std::clamp(radius, 0.0, std::min(r.width, r.height) / 2);
  if (!(corner > 0)) {
    cairo_rectangle(cairo_, r.x, r.y, r.width, r.height);
    return;
  }
  constexpr double quarter = std::numbers::pi / 2;
  const double left = r.x + corner;
  const double right = r.x + r.width - corner;
  const double top = r.y + corner;
  const double bottom = r.y + r.height - corner;
  cairo_new_sub_path(cairo_);
  cairo_arc(cairo_, right, top, corner, -quarter, 0);
  cairo_arc(cairo_, right, bottom, corner, 0, quarter);
  cairo_arc(cairo_, left, bottom, corner, quarter, 2 * quarter);
  cairo_arc(cairo_, left, top, corner, 2 * quarter, 3 * quarter);
  cairo_close_path(cairo_);
}

void CairoCanvas::fillRect(const Rect& rect, const Color& color) {
  fillRoundedRect(rect, 0, color);
}

void CairoCanvas::strokeRect(const Rect& rect, const Color& color, double lineWidth) {
  strokeRoundedRect(rect, 0, color, lineWidth);
}

void CairoCanvas::fillRoundedRect(const Rect& rect, double radius, const Color& color) {
  if (!finite(rect) || !(rect.width > 0) || !(rect.height > 0)) return;
  cairo_new_path(cairo_);
  roundedRectPath(rect, radius);
  setColor(color);
  cairo_fill(cairo_);
}

void CairoCanvas::strokeRoundedRect(const Rect& rect, double radius, const Color& color,
                                    double lineWidth) {
  if (!finite(rect) || rect.width < 0 || rect.height < 0 || !(lineWidth > 0)) return;
  cairo_new_path(cairo_);
  roundedRectPath(rect, radius);
  setColor(color);
  cairo_set_line_width(cairo_, lineWidth);
  cairo_stroke(cairo_);
}

void CairoCanvas::fillGradient(const Rect& rect, double radius,
                               std::span<const GradientStop> stops) {
  if (!finite(rect) || !(rect.width > 0) || !(rect.height > 0) || stops.empty()) return;
  const Rect r = toCairo(rect);
  detail::CairoPatternHandle gradient(cairo_pattern_create_linear(r.x, r.y, r.x + r.width, r.y));
  for (const GradientStop& stop : stops) {
    cairo_pattern_add_color_stop_rgba(gradient.get(), stop.location, stop.color.red,
                                      stop.color.green, stop.color.blue, stop.color.alpha);
  }
  cairo_save(cairo_);
  cairo_new_path(cairo_);
  roundedRectPath(rect, radius);
  cairo_clip(cairo_);
  cairo_set_source(cairo_, gradient.get());
  cairo_paint(cairo_);
  cairo_restore(cairo_);
}

const PangoFontDescription* CairoCanvas::fontDescription(const Font& font) {
  for (const auto& [known, description] : fonts_) {
    if (known == font) return description.get();
  }
  detail::PangoFontDescriptionHandle description(pango_font_description_new());
  pango_font_description_set_family_static(description.get(), familyName(font.family));
  pango_font_description_set_weight(description.get(),
                                    static_cast<PangoWeight>(std::clamp(font.weight, 100, 1000)));
  pango_font_description_set_absolute_size(description.get(), pangoUnits(font.size, maxFontSize));
  fonts_.emplace_back(font, std::move(description));
  return fonts_.back().second.get();
}

double CairoCanvas::layoutHeight() const {
  PangoRectangle logical;
  pango_layout_get_extents(layout_.get(), nullptr, &logical);
  return pango_units_to_double(logical.height);
}

void CairoCanvas::limitLayout(double heightLimit) {
  // With a height and an ellipsis mode Pango keeps the lines that fit, at
  // least one, and ends the last with an ellipsis.
  const bool limited = heightLimit != noHeightLimit;
  pango_layout_set_height(layout_.get(), limited ? pangoUnits(heightLimit, maxLayoutExtent) : -1);
  pango_layout_set_ellipsize(layout_.get(), limited ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
  laidOut_->heightLimit = heightLimit;
}

// Loads `text` into the layout at `width`, cut with an ellipsis at
// `heightLimit`; false when there is nothing to lay out. Measuring and then
// drawing the same text lays it out once.
bool CairoCanvas::prepareLayout(const StyledText& text, double width, double heightLimit) {
  if (text.text.empty() || !std::isfinite(width) || !(width > 0) ||
      !std::isfinite(text.font.size) || !(text.font.size >= minFontSize)) {
    return false;
  }
  if (!(heightLimit > 0)) heightLimit = noHeightLimit;
  if (laidOut_ && laidOut_->width == width && sameLayout(laidOut_->text, text)) {
    // A layout that nothing cut has the lines of any limit it fits under.
    const bool fits = !pango_layout_is_ellipsized(layout_.get()) && layoutHeight() <= heightLimit;
    if (laidOut_->heightLimit != heightLimit && !fits) limitLayout(heightLimit);
    return true;
  }
  PangoLayout* layout = layout_.get();
  const std::string valid = validUtf8(text.text);
  pango_layout_set_text(layout, valid.data(), static_cast<int>(valid.size()));
  pango_layout_set_font_description(layout, fontDescription(text.font));
  pango_layout_set_width(layout, std::max(1, pangoUnits(width, maxLayoutExtent)));

  detail::PangoAttrListHandle attributes(pango_attr_list_new());
  const std::size_t end = valid.size();
  // A word too long for its line breaks between characters with nothing added:
  // a hyphen would put a character on the page the document does not have.
  insertAttribute(attributes.get(), pango_attr_insert_hyphens_new(FALSE), 0, end);
  if (std::isfinite(text.lineHeightMultiple) && text.lineHeightMultiple > 0 &&
      text.lineHeightMultiple != 1) {
    insertAttribute(attributes.get(), pango_attr_line_height_new(text.lineHeightMultiple), 0, end);
  }
  if (std::isfinite(text.kern) && text.kern != 0) {
    const double kern = std::clamp(text.kern, -maxFontSize, maxFontSize);
    insertAttribute(attributes.get(),
                    pango_attr_letter_spacing_new(static_cast<int>(kern * PANGO_SCALE)), 0, end);
  }
  // Pango lets the run starting nearest a character win; flattening first
  // keeps "a later run replaces an earlier one".
  StyledText validText = text;
  validText.text = valid;
  for (const ColorRun& run : flattenRuns(validText)) {
    const Color& c = run.color;
    insertAttribute(
        attributes.get(),
        pango_attr_foreground_new(colorUnits(c.red), colorUnits(c.green), colorUnits(c.blue)),
        run.start, run.start + run.length);
    if (c.alpha < 1) {
      insertAttribute(attributes.get(), pango_attr_foreground_alpha_new(colorUnits(c.alpha)),
                      run.start, run.start + run.length);
    }
  }
  pango_layout_set_attributes(layout, attributes.get());

  laidOut_ = LayoutKey{.text = text, .width = width, .heightLimit = noHeightLimit};
  limitLayout(heightLimit);
  return true;
}

double CairoCanvas::textHeight(const StyledText& text, double width, double heightLimit) {
  if (!prepareLayout(text, width, heightLimit)) return 0;
  const double height = layoutHeight();
  // Cut text is taller than the limit, whatever the shortened layout says.
  if (pango_layout_is_ellipsized(layout_.get()) || height > heightLimit) {
    return std::max(height, std::nextafter(heightLimit, noHeightLimit));
  }
  return height;
}

void CairoCanvas::drawText(const StyledText& text, const Rect& box, bool truncate) {
  if (!finite(box) || !(box.height > 0) ||
      !prepareLayout(text, box.width, truncate ? box.height : noHeightLimit)) {
    return;
  }
  PangoLayout* layout = layout_.get();

  const Rect r = toCairo(box);
  cairo_save(cairo_);
  cairo_new_path(cairo_);
  cairo_rectangle(cairo_, r.x, r.y, r.width, r.height);
  cairo_clip(cairo_);
  setColor(text.color);

  if (layoutHeight() <= box.height) {
    cairo_move_to(cairo_, r.x, r.y);
    pango_cairo_show_layout(cairo_, layout);
  } else {
    // Only whole lines are shown: those whose bottom lies in the box, and
    // always the first.
    detail::PangoLayoutIterHandle iter(pango_layout_get_iter(layout));
    PangoLayoutIter* lines = iter.get();
    bool first = true;
    do {
      PangoRectangle line;
      pango_layout_iter_get_line_extents(lines, nullptr, &line);
      if (!first && pango_units_to_double(line.y + line.height) > box.height) break;
      first = false;
      cairo_move_to(cairo_, r.x + pango_units_to_double(line.x),
                    r.y + pango_units_to_double(pango_layout_iter_get_baseline(lines)));
      pango_cairo_show_layout_line(cairo_, pango_layout_iter_get_line_readonly(lines));
    } while (pango_layout_iter_next_line(lines));
  }
  cairo_restore(cairo_);
}

}  // namespace tamsel
