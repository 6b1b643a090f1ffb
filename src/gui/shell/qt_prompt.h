#pragma once
// Message boxes for the Prompt interface.

#include "core/common/prompt.h"

class QWidget;

namespace tovira {

class QtPrompt : public Prompt {
  public:
    explicit QtPrompt(QWidget* parent) : parent_(parent) {}
    PromptAnswer Ask(const QString& text, const QString& caption, PromptButtons buttons,
                     PromptIcon icon) override;

  private:
    QWidget* parent_;
};

}  // namespace tovira
