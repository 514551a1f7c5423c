// The program's own words, exactly as the user sees them.
#pragma once

namespace kestrune::texts {

inline constexpr char kApplicationTitle[] = "Kestrune";
inline constexpr char kInitialCaption[] = "Kestrune";
inline constexpr char kInitialLabel[] = "Tavimo Kestrune";
inline constexpr char kExitCaption[] = "Exit";
inline constexpr char kImage2Hint[] = "\r   Click here to open a Support Ticket with Tavimo   \r";
inline constexpr int kHintHidePauseMs = 20000;

inline constexpr char kConfirmTitle[] = "Confirm";
inline constexpr char kInformationTitle[] = "Information";
inline constexpr char kDownloadQuestion[] =
    "Kestrune needs to download some updated files to work properly. Allow Download?";

inline constexpr char kManifestProblem[] = "Problem with updater.txt. Please contact Tavimo";
inline constexpr char kUpdateProblem[] = "Problem with function update. Please contact Tavimo";
inline constexpr char kRefusedProblem[] = "Unable to run Kestrune without the updated files";

// The download's progress window, in a build with the maker's option.
inline constexpr char kProgressCancelCaption[] = "Cancel";
inline constexpr char kProgressCountFile[] = "file ";
inline constexpr char kProgressCountOf[] = " of ";

inline constexpr char kRemoteManifestName[] = "updater.txt";
inline constexpr char kLocalManifestName[] = "updater1.txt";
inline constexpr char kRemoteReleaseListName[] = "updater.b2sums";
inline constexpr char kLocalReleaseListName[] = "updater1.b2sums";
inline constexpr char kLocalVerifiedFilesName[] = "updater1.verified.b2sums";

}  // namespace kestrune::texts
