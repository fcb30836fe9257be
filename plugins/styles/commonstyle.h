#pragma once

#include <QProxyStyle>

// The tool's base style: Fusion, flattened. The style sheets draw nearly
// everything; this keeps what they leave to the style quiet and consistent
// (no pressed-button shift, no cell focus frames in item views, prompt tool
// tips).
class CommonStyle final : public QProxyStyle
{
    Q_OBJECT

public:
    CommonStyle();

    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
};
