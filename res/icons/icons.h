// Pictures compiled into the program, drawn for this project.
// XPM pictures for the main window; GIF data for the navigator toolbar.
#pragma once

namespace tv {
namespace icons {

extern const char* logo_icon_xpm[];  // 33 x 16: small yellow logo (window icon, title tab, status-bar logo button)
extern const char* banner_xpm[];  // 225 x 52: the program's name in blue lettering (title tab)
extern const char* logo_picture_xpm[];  // 162 x 111: yellow swoosh logo with lettering
extern const char* burn_icon_xpm[];  // 22 x 22: a grey device (burn tab)
extern const char* test_icon_xpm[];  // 22 x 22: a grey shape (Test heading)
extern const char* folder_icon_xpm[];  // 16 x 16: an open yellow folder (hv_open)
extern const char* check_icon_xpm[];  // 16 x 16: a black check mark (channel grid column)
extern const char* pencil_icon_xpm[];  // 16 x 16: a page with a pencil (write buttons)
extern const char* device_icon_xpm[];  // 24 x 24: a printer-like device (Read, clear, console output)
extern const char* channels_icon_xpm[];  // 22 x 22: a screen with a table (channels tab)
extern const char* radio_icon_xpm[];  // 22 x 22: a coloured picture (FM Radio tab)
extern const char* console_icon_xpm[];  // 16 x 16: a grey-and-white pictogram (register console)
extern const char* title_icon_xpm[];  // 22 x 16: coloured blocks (m_Title label of the console)
extern const char* settings_icon_xpm[];  // 16 x 16: a page with lines (settings tab)
extern const char* exchange_icon_xpm[];  // 32 x 32: a red and a green arrow, opposed (hv_commands)
extern const char* floppy_icon_xpm[];  // 16 x 16: a floppy disk (hv_save)
extern const char* lamp_black_icon_xpm[];  // 16 x 16: a black lamp (port closed)
extern const char* lamp_green_icon_xpm[];  // 16 x 16: the same lamp in green (port open)
extern const char* menu_icon_xpm[];  // 16 x 16: two linked pairs of balls (m_menu)
extern const char* exit_icon_xpm[];  // 22 x 14: the word EXIT in red (m_quit)
extern const char* help_icon_xpm[];  // 16 x 16: a yellow bubble with a question mark (m_help)
extern const char* document_icon_xpm[];  // 16 x 16: a red and yellow marker (m_doc)
extern const char* about_icon_xpm[];  // 16 x 16: a blue globe (m_about)

extern const unsigned char nav_first_gif[];  // 13 x 13: black bar left of a grey triangle pointing left
extern const unsigned char nav_prev_gif[];  // 13 x 13: grey triangle pointing left, black bar right of it
extern const unsigned char nav_next_gif[];  // 13 x 13: black bar left of a grey triangle pointing right
extern const unsigned char nav_last_gif[];  // 13 x 13: grey triangle pointing right, black bar right of it
extern const unsigned char nav_sb_gif[];  // 16 x 16: two overlapping documents with a blue plus sign
extern const unsigned char nav_ib_gif[];  // 16 x 16: a clipboard with a document and a blue bent arrow
extern const unsigned char nav_new_gif[];  // 12 x 14: a blank page with a folded corner
extern const unsigned char nav_sav_gif[];  // 16 x 16: a blue floppy disk
extern const unsigned char nav_del_gif[];  // 16 x 16: a red cross
extern const unsigned char nav_sbac_gif[];  // 11 x 11: black double chevron pointing left
extern const unsigned char nav_sfor_gif[];  // 11 x 11: black double chevron pointing right
extern const unsigned char nav_sinc_gif[];  // 16 x 16: a blue curved arrow over a dotted line

}  // namespace icons
}  // namespace tv
