#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

namespace TarnGUIToolkit {

// The toolkit's delegate base for its views. It paints a cell's decoration
// pixmap where two hooks say; subclasses override the hooks, or paint()
// altogether.
class CTableDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Values of GetPixmapLayout().
    enum PixmapLayout {
        PixmapAboveText = 4096, // pixmap over the text
        PixmapBeforeText = 8192 // pixmap on the text's left, text after it
    };

    // Parented to the view.
    explicit CTableDelegate(QAbstractItemView *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    // Where the pixmap sits within its part of the cell. Default: centred.
    virtual Qt::Alignment GetPixmapAlignment(const QModelIndex &index) const;
    // How pixmap and text share the cell (PixmapLayout). Default: above.
    virtual int GetPixmapLayout(const QModelIndex &index) const;
};

} // namespace TarnGUIToolkit
