// SPDX-License-Identifier: MIT
#pragma once

#include <cairo.h>

#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "render/canvas.h"
#include "render/handles.h"

namespace tamsel {

// A Canvas painting into a Cairo context with Pango text.
//
// `cairo` is borrowed and must outlive the canvas; its user space is taken
// as y-down points with the context's top edge at y = 0, and `height` is
// that context's height in points. Canvas coordinates (y-up, origin at the
// bottom left) become Cairo's here and nowhere else.
//
// Fonts: `sans` is fontconfig's "sans-serif", `serif` its "serif", `mono`
// the family "Menlo" when fontconfig has it, else "monospace", chosen under
// the configuration of setUpFontConfig. Text is laid out unhinted, so
// measurements scale with the page. One canvas belongs to one thread;
// canvases on different threads may paint at the same time.
class CairoCanvas final : public Canvas {
 public:
  CairoCanvas(cairo_t* cairo, double height);

  void fillRect(const Rect& rect, const Color& color) override;
  void strokeRect(const Rect& rect, const Color& color, double lineWidth) override;
  void fillRoundedRect(const Rect& rect, double radius, const Color& color) override;
  void strokeRoundedRect(const Rect& rect, double radius, const Color& color,
                         double lineWidth) override;
  void fillGradient(const Rect& rect, double radius, std::span<const GradientStop> stops) override;
  double textHeight(const StyledText& text, double width, double heightLimit) override;
  void drawText(const StyledText& text, const Rect& box, bool truncate) override;

 private:
  // What the layout currently holds: measuring then drawing the same text
  // at the same width lays it out once.
  struct LayoutKey {
    StyledText text;  // its base colour is set when drawing, not on the layout
    double width = 0;
    double heightLimit = noHeightLimit;  // as set on the layout
  };

  Rect toCairo(const Rect& rect) const;
  void roundedRectPath(const Rect& rect, double radius);
  void setColor(const Color& color);
  const PangoFontDescription* fontDescription(const Font& font);
  bool prepareLayout(const StyledText& text, double width, double heightLimit);
  void limitLayout(double heightLimit);
  double layoutHeight() const;

  cairo_t* cairo_;
  double height_;
  detail::PangoContextHandle context_;
  detail::PangoLayoutHandle layout_;
  std::vector<std::pair<Font, detail::PangoFontDescriptionHandle>> fonts_;
  std::optional<LayoutKey> laidOut_;
};

// Whether fontconfig knows a family named exactly "Menlo". Asked once per
// process.
bool menloAvailable();

}  // namespace tamsel
