// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <string>

// Stored stream URLs are small templates: "{NAME}" stands for a variable, and "[[...]]" is an
// optional section that survives only when a variable inside it could be filled. EQU ("=") and
// SMC (";") are always known.
using TemplateVariables = std::map<std::string, std::string>;

// The expanded copy of `text` (UTF-8): the section pass, then the variable pass.
std::string expandTemplate(const std::string& text, const TemplateVariables& variables);

// Expands every optional section of `text` in place; returns the number of sections found.
int expandTemplateSections(std::string& text, const TemplateVariables& variables);

// Replaces every variable reference of `text` in place; returns the number of references
// filled with a known value (unknown names expand to nothing, with a warning).
int expandTemplateVariables(std::string& text, const TemplateVariables& variables);

// Templates longer than this are left as they are: the regular expressions recurse per
// character, and no stored URL comes near this size.
constexpr std::size_t kMaxTemplateLength = 4096;

// Upper bound of replacements in one expansion. Each replacement normally shortens the text;
// a variable whose value holds a reference would otherwise loop for ever.
constexpr int kMaxTemplateReplacements = 512;
