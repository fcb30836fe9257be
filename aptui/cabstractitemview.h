#pragma once

namespace TarnGUIToolkit {

// What the toolkit's item views offer beyond Qt's: switching the grid lines
// between cells. Mixed into the concrete views (CTableView).
class CAbstractItemView
{
public:
    virtual ~CAbstractItemView() = default;

    // Shows (true) or hides (false) the lines between cells. GUI thread.
    virtual void ShowGridLine(bool show) = 0;

protected:
    CAbstractItemView() = default;
    CAbstractItemView(const CAbstractItemView &) = default;
    CAbstractItemView &operator=(const CAbstractItemView &) = default;
};

} // namespace TarnGUIToolkit
