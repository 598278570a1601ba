#pragma once
// The controls the update logic and the Presenter change, with exactly the
// properties they use. These classes are the headless model: they record
// every property. A window system binds them to real widgets by overriding
// the setters (call the base, then update the widget).
//
// Colours are window-system colour values: 0x00BBGGRR, or 0xFF0000nn for a
// theme colour. Only the Qt layer translates them.

#include <cstdint>
#include <string>
#include <vector>

namespace torvane {

using Colour = std::uint32_t;
inline constexpr Colour ClBlack = 0;
inline constexpr Colour ClRed = 255;
inline constexpr Colour ClGreen = 32768;        // dark green 0x008000
inline constexpr Colour ClSilver = 12632256;    // 0xC0C0C0
inline constexpr Colour ClWhite = 16777215;
inline constexpr Colour ClBtnFace = 0xFF00000F; // the theme's button face

enum class Alignment { Left, Right, Centre };

struct FontStyle {
    bool bold = false;
    bool italic = false;
    bool operator==(const FontStyle&) const = default;
};

class Control {
public:
    virtual ~Control() = default;
    virtual void setVisible(bool v) { visible_ = v; }
    virtual void setEnabled(bool e) { enabled_ = e; }
    virtual void setFocus() { ++focusCount_; }
    virtual void repaint() { ++repaintCount_; }
    bool visible() const { return visible_; }
    bool enabled() const { return enabled_; }
    int focusCount() const { return focusCount_; }
    int repaintCount() const { return repaintCount_; }

protected:
    bool visible_ = true;
    bool enabled_ = true;
    int focusCount_ = 0;
    int repaintCount_ = 0;
};

class Label : public Control {
public:
    virtual void setCaption(const std::string& c) { caption_ = c; }
    virtual void setFontColour(Colour c) { fontColour_ = c; }
    virtual void setBackground(Colour c) { background_ = c; }
    virtual void setFontStyle(FontStyle s) { fontStyle_ = s; }
    // Positive: character cell height; negative: character height without leading.
    virtual void setFontHeight(int h) { fontHeight_ = h; }
    virtual void setAlignment(Alignment a) { alignment_ = a; }
    virtual void setOpaque(bool o) { opaque_ = o; }
    const std::string& caption() const { return caption_; }
    Colour fontColour() const { return fontColour_; }
    Colour background() const { return background_; }
    FontStyle fontStyle() const { return fontStyle_; }
    int fontHeight() const { return fontHeight_; }
    Alignment alignment() const { return alignment_; }
    bool opaque() const { return opaque_; }

protected:
    std::string caption_;
    Colour fontColour_ = ClBlack;
    Colour background_ = ClBtnFace;
    FontStyle fontStyle_;
    int fontHeight_ = -11;
    Alignment alignment_ = Alignment::Left;
    bool opaque_ = true;
};

class Button : public Control {
public:
    virtual void setCaption(const std::string& c) { caption_ = c; }
    const std::string& caption() const { return caption_; }

protected:
    std::string caption_;
};

class Panel : public Control {
public:
    virtual void setBackground(Colour c) { background_ = c; }
    Colour background() const { return background_; }

protected:
    Colour background_ = ClBtnFace;
};

enum class BarState { Normal, Paused, Error };

class ProgressBar : public Control {
public:
    virtual void setPosition(int p) { position_ = p; }
    virtual void setMinimum(int m) { minimum_ = m; }
    virtual void setMaximum(int m) { maximum_ = m; }
    virtual void setSmooth(bool s) { smooth_ = s; }
    virtual void setState(BarState s) { state_ = s; }
    int position() const { return position_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    bool smooth() const { return smooth_; }
    BarState state() const { return state_; }

protected:
    int position_ = 0;
    int minimum_ = 0;
    int maximum_ = 100;
    bool smooth_ = false;
    BarState state_ = BarState::Normal;
};

class StatusBar : public Control {
public:
    explicit StatusBar(int panels = 4) : texts_(static_cast<std::size_t>(panels)) {}
    // Writes to a panel the bar does not have are dropped.
    virtual void setPanelText(int index, const std::string& text) {
        if (index >= 0 && static_cast<std::size_t>(index) < texts_.size()) texts_[static_cast<std::size_t>(index)] = text;
    }
    std::string panelText(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < texts_.size() ? texts_[static_cast<std::size_t>(index)] : std::string();
    }
    int panelCount() const { return static_cast<int>(texts_.size()); }

protected:
    std::vector<std::string> texts_;
};

}  // namespace torvane
