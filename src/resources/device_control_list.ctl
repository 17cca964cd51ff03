/*
 * PlankScale Device Control List
 *
 */

// Main settings dialog
"Wii Balance Board Settings", tag = Settings(0, 0, 160, 84),
  helpfile = "plankscalehelp",
  helptopic = "plankscale",

// List of controls
{
// &Keep Balance Board paired
"&Keep Wii Balance Board paired on exit", checkbox, KeepPaired(8, 8, 134, 10),
   {
   "Off", { command("dev/bb_keepPaired 1") },
   "On", default, { command("dev/bb_keepPaired 2") }
   },

// Show Batt State
"&Show low battery warning", checkbox, ShowBattWarning(8, 24, 130, 10),
   {
   "Off", { set(BattDontTell,1), command("dev/bb_ShowBattWarning 1") },
   "On", default, { set(BattDontTell,0), command("dev/bb_ShowBattWarning 2") }
   },
  
"&Zero all channels", progressbutton, ZeroAllChans(8, 41, 92, 14),
   {
   "", { command("dev/bb_zeroAllChans 2"), messagebox("All channels will be zeroed next time sampling starts.") }
   }

} // Settings

// Batt warning dialog
"Wii Balance Board", tag = BattWarning(0,0,214,87),

// Batt warning - list of controls
{
"", iconwarning, WarnIcon(8,16,24,24),
"Batteries are weak or were removed.",
   text, WarningText(44,20,160,30),

// 'Ignore' checkbox
"&Don't show this message again", checkbox, BattDontTell(8,50,120,12), 
   {
   "Off", { show(BattWarning), set(ShowBattWarning,1) },
   "On", { hide(BattWarning), set(ShowBattWarning,0) }
   },

// Help, OK, Cancel
//"", helpbutton, BattWarnHelp(8,67,20,14),
"&Continue", okbutton, BattWarnOK(102,67,50,14),
"&Stop", button, BattWarnStop(156,67,50,14),
   {
   "", { result(7), close() }
   }
   
//"&Stop", cancelbutton, BattWarnCancel(156,67,50,14)

} // Batt warning 

