// Records widget callbacks in the order they fire.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "skin/button_skin.h"

struct Event {
    const BaseSkin* widget;
    std::string name;
    bool operator==(const Event& other) const { return widget == other.widget && name == other.name; }
};

inline std::ostream& operator<<(std::ostream& out, const Event& event)
{
    return out << "{" << static_cast<const void*>(event.widget) << " " << event.name << "}";
}

inline std::vector<Event>& Events()
{
    static std::vector<Event> events;
    return events;
}

inline void RecordPaint(BaseSkin* widget)
{
    Events().push_back({widget, widget->IsHovered() ? "paint hovered" : "paint"});
}

inline void RecordStateChanged(BaseSkin* widget)
{
    const bool down = static_cast<ButtonSkin*>(widget)->StateIndex() == 1;
    Events().push_back({widget, down ? "stateChanged down" : "stateChanged up"});
}

inline void RecordClicked(BaseSkin* widget)
{
    Events().push_back({widget, "clicked"});
}

inline void Watch(ButtonSkin& button)
{
    button.SetCallback("paint", RecordPaint);
    button.SetCallback("stateChanged", RecordStateChanged);
    button.SetCallback("clicked", RecordClicked);
}

inline int CountEvents(const std::string& name)
{
    int count = 0;
    for (const Event& event : Events()) {
        count += event.name == name;
    }
    return count;
}
