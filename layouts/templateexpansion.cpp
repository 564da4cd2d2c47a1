// SPDX-License-Identifier: MIT
#include "templateexpansion.h"

#include <regex>

#include <QString>
#include <QtDebug>

namespace {

const std::regex& variablePattern()
{
    static const std::regex pattern(R"(\{([a-zA-Z0-9_]+?)\})", std::regex::ECMAScript);
    return pattern;
}

const std::regex& sectionPattern()
{
    static const std::regex pattern(R"(\[\[(.+?)\]\])", std::regex::ECMAScript);
    return pattern;
}

bool tooLong(const std::string& text)
{
    if (text.size() <= kMaxTemplateLength)
        return false;
    qWarning() << "Template of" << text.size() << "bytes is longer than" << kMaxTemplateLength
               << "bytes; left unexpanded";
    return true;
}

// Counts replacements of one expansion so that no set of variables can make it run for ever.
class ReplacementBudget
{
public:
    bool spend()
    {
        if (m_left > 0) {
            --m_left;
            return true;
        }
        if (!m_warned) {
            qWarning() << "Template expansion stopped after" << kMaxTemplateReplacements
                       << "replacements; a variable value probably holds a reference";
            m_warned = true;
        }
        return false;
    }

private:
    int m_left = kMaxTemplateReplacements;
    bool m_warned = false;
};

int replaceVariables(std::string& text, const TemplateVariables& variables, ReplacementBudget& budget)
{
    int filled = 0;
    std::smatch match;
    while (!tooLong(text) && std::regex_search(text, match, variablePattern())) {
        if (!budget.spend())
            break;
        const std::string name = match[1].str();
        std::string value;
        const auto it = variables.find(name);
        if (it != variables.end()) {
            value = it->second;
            ++filled;
        } else if (name == "EQU") {
            value = "=";
            ++filled;
        } else if (name == "SMC") {
            value = ";";
            ++filled;
        } else {
            qWarning() << "Unkow variable '" << QString::fromStdString(name) << "'!";
        }
        text.replace(static_cast<std::size_t>(match.position(0)), static_cast<std::size_t>(match.length(0)), value);
    }
    return filled;
}

int replaceSections(std::string& text, const TemplateVariables& variables, ReplacementBudget& budget)
{
    int found = 0;
    std::smatch match;
    while (!tooLong(text) && std::regex_search(text, match, sectionPattern())) {
        if (!budget.spend())
            break;
        ++found;
        std::string inner = match[1].str();
        if (replaceVariables(inner, variables, budget) == 0)
            inner.clear();
        text.replace(static_cast<std::size_t>(match.position(0)), static_cast<std::size_t>(match.length(0)), inner);
    }
    return found;
}

} // namespace

int expandTemplateVariables(std::string& text, const TemplateVariables& variables)
{
    ReplacementBudget budget;
    return replaceVariables(text, variables, budget);
}

int expandTemplateSections(std::string& text, const TemplateVariables& variables)
{
    ReplacementBudget budget;
    return replaceSections(text, variables, budget);
}

std::string expandTemplate(const std::string& text, const TemplateVariables& variables)
{
    std::string result = text;
    if (tooLong(result))
        return result;
    ReplacementBudget budget;
    replaceSections(result, variables, budget);
    replaceVariables(result, variables, budget);
    return result;
}
