#include "platform/messagebox.h"

#include <cstdio>

namespace {

class TStandardErrorBoxes final : public TMessageBoxes {
public:
    void ShowError(const QString& text) override
    {
        std::fprintf(stderr, "Error: %s\n", qUtf8Printable(text));
    }
    bool Confirm(const QString& text) override
    {
        std::fprintf(stderr, "%s [answered No]\n", qUtf8Printable(text));
        return false;
    }
};

TStandardErrorBoxes StandardErrorBoxes;
TMessageBoxes* InstalledBoxes = nullptr;

} // namespace

TMessageBoxes& MessageBoxes()
{
    return InstalledBoxes ? *InstalledBoxes : StandardErrorBoxes;
}

void SetMessageBoxes(TMessageBoxes* boxes)
{
    InstalledBoxes = boxes;
}
