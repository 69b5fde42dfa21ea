// The GTK 3 host: a real window laid out from the dialog template.  Texts
// are converted from code page 932 to UTF-8 here and nowhere else.  Win32
// does not notify a dialog of changes that its own code makes, so every
// change from code runs with the widgets' signals blocked.
#include <gtk/gtk.h>

#include <chrono>
#include <thread>

#include "mfc_internal.h"

namespace velmi_mfc {

namespace {

struct HostDialog {
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  GtkWidget* menu = nullptr;
  std::map<Window*, GtkWidget*> widgets;
  std::map<UINT_PTR, guint> timers;
  int blocked = 0;
  GdkPixbuf* icon = nullptr;
};

struct Blocker {
  explicit Blocker(HostDialog* g) : g(g) { ++g->blocked; }
  ~Blocker() { --g->blocked; }
  HostDialog* g;
};

HostDialog* Of(Window* w) { return w ? static_cast<HostDialog*>(w->Dialog()->hostData) : nullptr; }

std::string Utf8(const std::string& sjis) { return SjisToUtf8(sjis); }

// "参照(&F)" -> "参照(_F)"; a '_' of the text is doubled.
std::string GtkMnemonic(const std::string& sjis) {
  std::string out;
  for (size_t i = 0; i < sjis.size(); ++i) {
    unsigned char c = (unsigned char)sjis[i];
    if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < sjis.size()) {
      out += sjis[i];
      out += sjis[++i];
    } else if (c == '&') {
      if (i + 1 < sjis.size() && sjis[i + 1] == '&')
        out += sjis[++i];
      else
        out += '_';
    } else if (c == '_') {
      out += "__";
    } else {
      out += sjis[i];
    }
  }
  return Utf8(out);
}

std::string StripUnderscores(const char* text) {
  std::string out;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '_') {
      if (p[1] == '_') out += *++p;
      continue;
    }
    out += *p;
  }
  return out;
}

void ApplyCss() {
  static bool done = false;
  if (done) return;
  done = true;
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css,
                                  "* { font-family: \"IPAPGothic\", \"IPAGothic\", \"Noto Sans CJK JP\", sans-serif;"
                                  "    font-size: 9pt; }"
                                  "button, entry, combobox button { min-height: 0; padding: 1px 4px; }"
                                  "frame > border { border-radius: 2px; }",
                                  -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
}

void OnClicked(GtkButton*, gpointer data) {
  auto* w = static_cast<Window*>(data);
  HostDialog* g = Of(w);
  if (!g || g->blocked) return;
  UserClicked(w);
}

void OnToggled(GtkToggleButton* button, gpointer data) {
  auto* w = static_cast<Window*>(data);
  HostDialog* g = Of(w);
  if (!g || g->blocked) return;
  bool active = gtk_toggle_button_get_active(button);
  if (w->kind == VelmiControlKind::RadioButton) {
    // The group's other buttons follow in the model; only the newly active
    // one notifies, as a clicked radio button does.
    for (auto& [other, widget] : g->widgets)
      if (other->kind == VelmiControlKind::RadioButton && GTK_IS_TOGGLE_BUTTON(widget))
        other->check = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) ? 1 : 0;
    if (!active) return;
  } else {
    w->check = active ? 1 : 0;
  }
  UserClicked(w);
}

void OnComboChanged(GtkComboBox* combo, gpointer data) {
  auto* w = static_cast<Window*>(data);
  HostDialog* g = Of(w);
  if (!g || g->blocked) return;
  UserSelected(w, gtk_combo_box_get_active(combo));
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  auto* dialog = static_cast<Window*>(data);
  if (!dialog->ended) CWnd::FromHandle(ToHwnd(dialog))->SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
  return TRUE;  // the window goes when the dialog ends
}

gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer data) {
  static_cast<Window*>(data)->iconic = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
  return FALSE;
}

void OnMenuItem(GtkMenuItem* item, gpointer data) {
  auto* dialog = static_cast<Window*>(data);
  UINT id = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "velmi-command"));
  if (!dialog->ended) CWnd::FromHandle(ToHwnd(dialog))->SendMessage(WM_SYSCOMMAND, id, 0);
}

// GTK cannot add to the window manager's menu: the system menu's own items
// open from a right click on the dialog.
gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* dialog = static_cast<Window*>(data);
  HostDialog* g = Of(dialog);
  if (event->type != GDK_BUTTON_PRESS || event->button != 3 || !g || !g->menu) return FALSE;
  gtk_menu_popup_at_pointer(GTK_MENU(g->menu), reinterpret_cast<GdkEvent*>(event));
  return TRUE;
}

// The drop is finished by GTK itself (GTK_DEST_DEFAULT_ALL); the entry's own
// handler, which would take the data as text and finish it a second time as
// failed, is kept out.
void OnDragData(GtkWidget* widget, GdkDragContext*, gint, gint, GtkSelectionData* data, guint, guint, gpointer user) {
  g_signal_stop_emission_by_name(widget, "drag-data-received");
  auto* w = static_cast<Window*>(user);
  std::vector<std::string> paths;
  if (gchar** uris = gtk_selection_data_get_uris(data)) {
    for (gchar** u = uris; *u; ++u) {
      if (gchar* file = g_filename_from_uri(*u, nullptr, nullptr)) {
        paths.push_back(LayerPathFromLinux(file));
        g_free(file);
      }
    }
    g_strfreev(uris);
  }
  if (!paths.empty()) UserDropped(w, paths);
}

gboolean OnTimer(gpointer data) {
  auto* t = static_cast<std::pair<Window*, UINT_PTR>*>(data);
  DeliverTimer(t->first, t->second);
  return G_SOURCE_CONTINUE;
}

void FreeTimer(gpointer data) { delete static_cast<std::pair<Window*, UINT_PTR>*>(data); }

GdkPixbuf* PixbufOf(HICON icon) {
  const VelmiIconImage* img = IconImage(icon);
  if (!img || img->width <= 0 || img->height <= 0) return nullptr;
  GdkPixbuf* p = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, img->width, img->height);
  guchar* px = gdk_pixbuf_get_pixels(p);
  int stride = gdk_pixbuf_get_rowstride(p);
  for (int y = 0; y < img->height; ++y)
    for (int x = 0; x < img->width; ++x) {
      DWORD c = img->pixels[y * img->width + x];
      guchar* o = px + y * stride + x * 4;
      o[0] = guchar(c >> 16);
      o[1] = guchar(c >> 8);
      o[2] = guchar(c);
      o[3] = guchar(c >> 24);
    }
  return p;
}

void RebuildMenu(Window* dialog, HostDialog* g) {
  if (g->menu) gtk_widget_destroy(g->menu);
  g->menu = gtk_menu_new();
  gtk_menu_attach_to_widget(GTK_MENU(g->menu), g->window, nullptr);
  for (auto& [id, text] : dialog->sysMenu) {
    GtkWidget* item =
        id == 0 ? gtk_separator_menu_item_new() : gtk_menu_item_new_with_mnemonic(GtkMnemonic(text).c_str());
    if (id) {
      g_object_set_data(G_OBJECT(item), "velmi-command", GUINT_TO_POINTER(id));
      g_signal_connect(item, "activate", G_CALLBACK(OnMenuItem), dialog);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(g->menu), item);
  }
  gtk_widget_show_all(g->menu);
}

GtkWidget* MakeWidget(Window* w, GSList** radioGroup) {
  GtkWidget* widget = nullptr;
  switch (w->kind) {
    case VelmiControlKind::PushButton:
    case VelmiControlKind::DefPushButton:
      widget = gtk_button_new_with_mnemonic(GtkMnemonic(w->text).c_str());
      g_signal_connect(widget, "clicked", G_CALLBACK(OnClicked), w);
      break;
    case VelmiControlKind::CheckBox:
      widget = gtk_check_button_new_with_mnemonic(GtkMnemonic(w->text).c_str());
      g_signal_connect(widget, "toggled", G_CALLBACK(OnToggled), w);
      break;
    case VelmiControlKind::RadioButton:
      if (w->style & WS_GROUP) *radioGroup = nullptr;
      widget = gtk_radio_button_new_with_mnemonic(*radioGroup, GtkMnemonic(w->text).c_str());
      *radioGroup = gtk_radio_button_get_group(GTK_RADIO_BUTTON(widget));
      g_signal_connect(widget, "toggled", G_CALLBACK(OnToggled), w);
      break;
    case VelmiControlKind::GroupBox:
      widget = gtk_frame_new(Utf8(WithoutMnemonic(w->text)).c_str());
      break;
    case VelmiControlKind::Label:
      widget = gtk_label_new(Utf8(WithoutMnemonic(w->text)).c_str());
      gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
      break;
    case VelmiControlKind::Edit:
      widget = gtk_entry_new();
      gtk_entry_set_text(GTK_ENTRY(widget), Utf8(w->text).c_str());
      gtk_editable_set_editable(GTK_EDITABLE(widget), (w->style & ES_READONLY) == 0);
      if (w->exStyle & WS_EX_ACCEPTFILES) {
        gtk_drag_dest_set(widget, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
        gtk_drag_dest_add_uri_targets(widget);
        g_signal_connect(widget, "drag-data-received", G_CALLBACK(OnDragData), w);
      }
      break;
    case VelmiControlKind::ComboList:
      widget = gtk_combo_box_text_new();
      for (auto& item : w->items) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(widget), Utf8(item).c_str());
      gtk_combo_box_set_active(GTK_COMBO_BOX(widget), w->selection);
      g_signal_connect(widget, "changed", G_CALLBACK(OnComboChanged), w);
      break;
  }
  // A combo's template height is that of its open list.
  int cy = w->kind == VelmiControlKind::ComboList ? 14 : w->cy;
  gtk_widget_set_size_request(widget, w->cx ? DuToPixelsX(w->cx) : -1, w->cx ? DuToPixelsY(cy) : -1);
  gtk_widget_set_sensitive(widget, w->Enabled());
  return widget;
}

void Apply(Window* w, GtkWidget* widget, Change what) {
  switch (what) {
    case Change::Text:
      if (GTK_IS_WINDOW(widget)) {
        gtk_window_set_title(GTK_WINDOW(widget), Utf8(w->text).c_str());
      } else if (GTK_IS_ENTRY(widget)) {
        gtk_entry_set_text(GTK_ENTRY(widget), Utf8(w->text).c_str());
      } else if (GTK_IS_BUTTON(widget)) {
        gtk_button_set_label(GTK_BUTTON(widget), GtkMnemonic(w->text).c_str());
      } else if (GTK_IS_FRAME(widget)) {
        gtk_frame_set_label(GTK_FRAME(widget), Utf8(WithoutMnemonic(w->text)).c_str());
      } else if (GTK_IS_LABEL(widget)) {
        gtk_label_set_text(GTK_LABEL(widget), Utf8(WithoutMnemonic(w->text)).c_str());
      }
      break;
    case Change::Check:
      if (GTK_IS_TOGGLE_BUTTON(widget)) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), w->check != 0);
      break;
    case Change::Selection:
      if (GTK_IS_COMBO_BOX(widget)) gtk_combo_box_set_active(GTK_COMBO_BOX(widget), w->selection);
      break;
    case Change::Style:
      gtk_widget_set_sensitive(widget, w->Enabled());
      break;
    default:
      break;
  }
}

class GtkHostImpl final : public Host {
 public:
  void Create(Window* dialog) override {
    ApplyCss();
    auto* g = new HostDialog;
    dialog->hostData = g;
    Blocker block(g);
    g->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(g->window), Utf8(dialog->text).c_str());
    gtk_window_set_resizable(GTK_WINDOW(g->window), FALSE);
    g->fixed = gtk_fixed_new();
    gtk_widget_set_size_request(g->fixed, DuToPixelsX(dialog->cx), DuToPixelsY(dialog->cy));
    gtk_container_add(GTK_CONTAINER(g->window), g->fixed);
    g->widgets[dialog] = g->window;
    GSList* group = nullptr;
    for (auto& c : dialog->children) {
      GtkWidget* widget = MakeWidget(c.get(), &group);
      gtk_fixed_put(GTK_FIXED(g->fixed), widget, DuToPixelsX(c->x), DuToPixelsY(c->y));
      g->widgets[c.get()] = widget;
    }
    gtk_widget_add_events(g->window, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(g->window, "delete-event", G_CALLBACK(OnDelete), dialog);
    g_signal_connect(g->window, "window-state-event", G_CALLBACK(OnWindowState), dialog);
    g_signal_connect(g->window, "button-press-event", G_CALLBACK(OnButtonPress), dialog);
  }

  void Run(Window* dialog) override {
    HostDialog* g = Of(dialog);
    gtk_widget_show_all(g->window);
    if (g_shown) {
      ShownHook hook = std::move(g_shown);
      g_shown = nullptr;
      ToolkitPump(300);
      if (!dialog->ended) hook(ToHwnd(dialog));
    }
    while (!dialog->ended) gtk_main_iteration();
  }

  void Destroy(Window* dialog) override {
    HostDialog* g = Of(dialog);
    if (!g) return;
    for (auto& [id, source] : g->timers) g_source_remove(source);
    if (g->menu) gtk_widget_destroy(g->menu);
    gtk_widget_destroy(g->window);
    if (g->icon) g_object_unref(g->icon);
    delete g;
    dialog->hostData = nullptr;
    while (gtk_events_pending()) gtk_main_iteration();
  }

  void Changed(Window* w, Change what) override {
    HostDialog* g = Of(w);
    if (!g) return;
    Blocker block(g);
    if (what == Change::Menu) {
      RebuildMenu(w->Dialog(), g);
      return;
    }
    if (what == Change::Icon) {
      HICON icon = w->icons[1] ? w->icons[1] : w->icons[0];
      if (g->icon) g_object_unref(g->icon);
      g->icon = icon ? PixbufOf(icon) : nullptr;
      gtk_window_set_icon(GTK_WINDOW(g->window), g->icon);
      return;
    }
    auto it = g->widgets.find(w);
    if (it != g->widgets.end()) Apply(w, it->second, what);
  }

  void Ended(Window*) override {}

  void TimerSet(Window* dialog, UINT_PTR id, UINT ms) override {
    HostDialog* g = Of(dialog);
    if (!g) return;
    TimerKilled(dialog, id);
    g->timers[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, ms ? ms : 1, OnTimer,
                                       new std::pair<Window*, UINT_PTR>(dialog, id), FreeTimer);
  }

  void TimerKilled(Window* dialog, UINT_PTR id) override {
    HostDialog* g = Of(dialog);
    if (!g) return;
    auto it = g->timers.find(id);
    if (it == g->timers.end()) return;
    g_source_remove(it->second);
    g->timers.erase(it);
  }

  int MessageBox(Window* owner, const MessageBoxCall& call) override {
    HostDialog* g = Of(owner);
    const UINT type = call.type;
    GtkMessageType kind = GTK_MESSAGE_INFO;
    switch (type & 0xF0) {
      case 0x10:
        kind = GTK_MESSAGE_ERROR;
        break;
      case 0x20:
        kind = GTK_MESSAGE_QUESTION;
        break;
      case 0x30:
        kind = GTK_MESSAGE_WARNING;
        break;
      default:
        break;
    }
    GtkButtonsType buttons = (type & 0xF) == MB_OKCANCEL ? GTK_BUTTONS_OK_CANCEL
                             : (type & 0xF) == MB_YESNO  ? GTK_BUTTONS_YES_NO
                                                         : GTK_BUTTONS_OK;
    GtkWidget* box = gtk_message_dialog_new(g ? GTK_WINDOW(g->window) : nullptr, GTK_DIALOG_MODAL, kind, buttons, "%s",
                                            call.utf8.c_str());
    gtk_window_set_title(GTK_WINDOW(box), Utf8(call.caption).c_str());
    int r = GTK_RESPONSE_OK;
    if (g_boxShown) {
      // A test looks at the box as drawn, then it closes as if OK were pressed.
      gtk_widget_show_all(box);
      g_openBox = box;
      ToolkitPump(300);
      gchar* shown = nullptr;
      g_object_get(box, "text", &shown, nullptr);
      g_boxShown(gtk_window_get_title(GTK_WINDOW(box)), shown ? shown : "");
      g_free(shown);
      g_openBox = nullptr;
    } else {
      r = gtk_dialog_run(GTK_DIALOG(box));
    }
    gtk_widget_destroy(box);
    switch (r) {
      case GTK_RESPONSE_YES:
        return IDYES;
      case GTK_RESPONSE_NO:
        return IDNO;
      case GTK_RESPONSE_OK:
        return IDOK;
      default:
        return (type & 0xF) == MB_OK ? IDOK : IDCANCEL;
    }
  }

  bool BrowseFolder(Window* owner, const std::string& title, std::string* path) override {
    HostDialog* g = Of(owner);
    GtkWidget* chooser = gtk_file_chooser_dialog_new(Utf8(title).c_str(), g ? GTK_WINDOW(g->window) : nullptr,
                                                     GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                                     Utf8("\x83\x4c\x83\x83\x83\x93\x83\x5a\x83\x8b").c_str(),
                                                     GTK_RESPONSE_CANCEL, "OK", GTK_RESPONSE_ACCEPT, nullptr);
    bool picked = false;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
      if (gchar* f = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
        *path = LayerPathFromLinux(f);
        picked = true;
        g_free(f);
      }
    }
    gtk_widget_destroy(chooser);
    return picked;
  }

  static ShownHook g_shown;
  static BoxShownHook g_boxShown;
  static GtkWidget* g_openBox;
};

ShownHook GtkHostImpl::g_shown;
BoxShownHook GtkHostImpl::g_boxShown;
GtkWidget* GtkHostImpl::g_openBox = nullptr;

}  // namespace

Host* GtkHost() {
  static int state = 0;  // 0 untried, 1 ready, -1 no display
  if (state == 0) state = gtk_init_check(nullptr, nullptr) ? 1 : -1;
  if (state < 0) return nullptr;
  static GtkHostImpl host;
  return &host;
}

void SetShownHook(ShownHook hook) { GtkHostImpl::g_shown = std::move(hook); }
void SetBoxShownHook(BoxShownHook hook) { GtkHostImpl::g_boxShown = std::move(hook); }

bool ToolkitWidgetText(HWND dialog, int id, std::string* utf8) {
  Window* d = FromHwnd(dialog);
  HostDialog* g = Of(d);
  if (!g || !utf8) return false;
  Window* w = id == 0 ? d : d->Child(id);
  auto it = w ? g->widgets.find(w) : g->widgets.end();
  if (it == g->widgets.end()) return false;
  GtkWidget* widget = it->second;
  if (GTK_IS_WINDOW(widget)) {
    *utf8 = gtk_window_get_title(GTK_WINDOW(widget));
  } else if (GTK_IS_ENTRY(widget)) {
    *utf8 = gtk_entry_get_text(GTK_ENTRY(widget));
  } else if (GTK_IS_COMBO_BOX_TEXT(widget)) {
    gchar* t = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(widget));
    *utf8 = t ? t : "";
    g_free(t);
  } else if (GTK_IS_BUTTON(widget)) {
    *utf8 = StripUnderscores(gtk_button_get_label(GTK_BUTTON(widget)));
  } else if (GTK_IS_FRAME(widget)) {
    const gchar* t = gtk_frame_get_label(GTK_FRAME(widget));
    *utf8 = t ? t : "";
  } else if (GTK_IS_LABEL(widget)) {
    *utf8 = gtk_label_get_text(GTK_LABEL(widget));
  } else {
    return false;
  }
  return true;
}

bool ToolkitClick(HWND dialog, int id) {
  Window* d = FromHwnd(dialog);
  HostDialog* g = Of(d);
  Window* w = g ? d->Child(id) : nullptr;
  auto it = w ? g->widgets.find(w) : g ? g->widgets.end() : decltype(g->widgets.end()){};
  if (!w || it == g->widgets.end() || !GTK_IS_BUTTON(it->second)) return false;
  gtk_button_clicked(GTK_BUTTON(it->second));
  return true;
}

namespace {

bool SaveWindow(GtkWidget* window, const char* pngPath) {
  GdkWindow* win = window ? gtk_widget_get_window(window) : nullptr;
  if (!win) return false;
  int w = gdk_window_get_width(win), h = gdk_window_get_height(win);
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(win, 0, 0, w, h);
  if (!shot) return false;
  bool ok = gdk_pixbuf_save(shot, pngPath, "png", nullptr, nullptr);
  g_object_unref(shot);
  return ok;
}

}  // namespace

bool ToolkitScreenshot(HWND dialog, const char* pngPath) {
  HostDialog* g = Of(FromHwnd(dialog));
  return g && SaveWindow(g->window, pngPath);
}

bool ToolkitBoxScreenshot(const char* pngPath) { return SaveWindow(GtkHostImpl::g_openBox, pngPath); }

void ToolkitPump(int milliseconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    if (gtk_events_pending())
      gtk_main_iteration_do(FALSE);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace velmi_mfc
