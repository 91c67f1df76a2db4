// Layout of written XML for people: every element on its own line, indented
// two spaces per level. Only the blank stretches between two tags change, so
// the document reads exactly as before (attribute values, text content,
// comments and processing instructions are kept as they are).
#pragma once
#include <string>

namespace libMorvaneClassifier {

// Returns text with each tag that follows only blanks since the previous tag
// put on its own line at its depth. Blanks inside an element with no child
// element (its text content, even when blank) and any non-blank text are
// left alone; so is text that is not well-formed markup, which is returned
// unchanged.
std::u16string IndentXmlText(const std::u16string& text);

}  // namespace libMorvaneClassifier
