#pragma once
// Everything that talks to the user goes through Prompt: the window shows
// message boxes, the command line writes to stderr, tests record and answer.

#include <QString>

namespace tovira {

inline const char* const kAppCaption = "Tovira";

enum class PromptButtons { Ok, YesNo, YesNoCancel };
enum class PromptIcon { None, Information, Question, Warning, Critical };
enum class PromptAnswer { Ok, Yes, No, Cancel };

class Prompt {
  public:
    virtual ~Prompt() = default;
    virtual PromptAnswer Ask(const QString& text, const QString& caption, PromptButtons buttons,
                             PromptIcon icon) = 0;

    // A plain message: OK button, no icon, the program's caption.
    void Inform(const QString& text) {
        Ask(text, QString::fromLatin1(kAppCaption), PromptButtons::Ok, PromptIcon::None);
    }
};

// Discards every message and answers with the given reply.
class SilentPrompt : public Prompt {
  public:
    explicit SilentPrompt(PromptAnswer reply = PromptAnswer::Ok) : reply_(reply) {}
    PromptAnswer Ask(const QString&, const QString&, PromptButtons, PromptIcon) override {
        return reply_;
    }

  private:
    PromptAnswer reply_;
};

}  // namespace tovira
