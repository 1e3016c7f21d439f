#pragma once

namespace Nod::App {

// The maker's pages the program links to; nothing is fetched from them.
inline constexpr char kReleasePage[] = "https://nodera.app/releases";
inline constexpr char kHelpPage[] = "https://nodera.app/help";
inline constexpr char kFeedbackPage[] = "https://nodera.app/feedback";

} // namespace Nod::App
