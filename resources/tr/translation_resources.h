#pragma once

namespace ConnectLayout {

// Registers the built-in translation files (":/resources/tr/translations_<code>.json").
// Safe to call more than once; call it before the first lookup.
void initTranslationResources();

} // namespace ConnectLayout
