// What an update handler decides for one command: enabled, check mark and
// text of its menu entries, keys and buttons.
#pragma once

#include <optional>
#include <string>

class QMenu;

struct CCmdUI {
  explicit CCmdUI(unsigned id, QMenu* pSubMenu = nullptr) : m_nID(id), m_pSubMenu(pSubMenu) {}

  void Enable(bool bOn = true) { m_bEnabled = bOn; }
  void SetCheck(bool bOn) { m_bChecked = bOn; }
  void SetText(const std::string& text) { m_strText = text; }

  unsigned m_nID;
  // Set when the update is asked on behalf of a submenu entry that opens
  // this submenu (the entry is then enabled or greyed as a whole).
  QMenu* m_pSubMenu;
  bool m_bEnabled = true;
  std::optional<bool> m_bChecked;
  std::optional<std::string> m_strText;
};

// Anything in the command route: the view, the frame, the application.
class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;
  // True when the command was carried out here.
  virtual bool OnCommand(unsigned id) = 0;
  // True when this target has an update handler for ui.m_nID (it then has
  // filled ui); false passes the question on.
  virtual bool OnUpdateCommand(CCmdUI& ui) = 0;
  // True when OnCommand would handle id (a command with a handler and no
  // update handler is enabled).
  virtual bool HasCommand(unsigned id) const = 0;
};
