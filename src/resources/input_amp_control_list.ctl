/*
 * PlankScale Input Amp Control List
 *
 */

// List title: names can be a single string, or a list of countrycode/string pairs
{  eng, "Wii Balance Board" },

// List of controls
{
   "&Zero all", button, ZeroAllChansInputAmp,
      {
      "", { command("dev/bb_zeroAllChans 2"), messagebox("All channels will be zeroed next time sampling starts.") }
      }
}
