#pragma once

// Web addresses the program opens: the maker's home page (help menu, logo, splash link), the
// product's online help and the maker's other product. The help menu shows the host name itself
// as the text of its home-page item.

namespace plyfold::links {

inline constexpr char kMakerHost[] = "www.tessarine.com";
inline constexpr char kMakerHomeUrl[] = "https://www.tessarine.com/";
inline constexpr char kOnlineHelpUrl[] = "https://www.tessarine.com/support/Plyfold";
inline constexpr char kOtherProductUrl[] = "https://www.tessarine.com/tabulon";

} // namespace plyfold::links
