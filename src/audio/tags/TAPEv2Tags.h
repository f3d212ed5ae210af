#pragma once
// TAPEv2Tags: the APEv2 field set. It has no file access of its own: probe,
// load and save are those of TAuTags.

#include <string>

#include "audio/tags/TAuTags.h"

class TAPEv2Tags : public TAuTags {
 public:
  TAPEv2Tags();

  std::wstring Artist() const { return TagAsWideString("Artist"); }
  void SetArtist(const std::wstring& v) { SetTag("Artist", v); }
  std::wstring Composer() const { return TagAsWideString("Composer"); }
  void SetComposer(const std::wstring& v) { SetTag("Composer", v); }
  std::wstring Album() const { return TagAsWideString("Album"); }
  void SetAlbum(const std::wstring& v) { SetTag("Album", v); }
  std::wstring DebutAlbum() const { return TagAsWideString("Debut album"); }
  void SetDebutAlbum(const std::wstring& v) { SetTag("Debut album", v); }
  std::wstring Publisher() const { return TagAsWideString("Publisher"); }
  void SetPublisher(const std::wstring& v) { SetTag("Publisher", v); }
  std::wstring Conductor() const { return TagAsWideString("Conductor"); }
  void SetConductor(const std::wstring& v) { SetTag("Conductor", v); }
  std::wstring Copyright() const { return TagAsWideString("Copyright"); }
  void SetCopyright(const std::wstring& v) { SetTag("Copyright", v); }
  std::string ISBN() const { return TagAsString("ISBN"); }
  void SetISBN(const std::string& v) { SetTag("ISBN", v); }
  std::string ISRC() const { return TagAsString("ISRC"); }
  void SetISRC(const std::string& v) { SetTag("ISRC", v); }
  std::string BarCode() const { return TagAsString("EAN/UPC"); }
  void SetBarCode(const std::string& v) { SetTag("EAN/UPC", v); }
  std::string LabelCode() const { return TagAsString("LC"); }
  void SetLabelCode(const std::string& v) { SetTag("LC", v); }
  std::string Catalog() const { return TagAsString("Catalog"); }
  void SetCatalog(const std::string& v) { SetTag("Catalog", v); }
  std::wstring Language() const { return TagAsWideString("Language"); }
  void SetLanguage(const std::wstring& v) { SetTag("Language", v); }
  std::wstring Genre() const { return TagAsWideString("Genre"); }
  void SetGenre(const std::wstring& v) { SetTag("Genre", v); }
  std::string Year() const { return TagAsString("Year"); }
  void SetYear(const std::string& v) { SetTag("Year", v); }
  std::string RecordDate() const { return TagAsString("Record Date"); }
  void SetRecordDate(const std::string& v) { SetTag("Record Date", v); }
  std::wstring RecordLocation() const { return TagAsWideString("Record Location"); }
  void SetRecordLocation(const std::wstring& v) { SetTag("Record Location", v); }
  std::wstring File_() const { return TagAsWideString("File"); }
  void SetFile_(const std::wstring& v) { SetTag("File", v); }
  std::wstring Related() const { return TagAsWideString("Related"); }
  void SetRelated(const std::wstring& v) { SetTag("Related", v); }
  std::wstring Abstract() const { return TagAsWideString("Abstract"); }
  void SetAbstract(const std::wstring& v) { SetTag("Abstract", v); }
  std::wstring Bibliography() const { return TagAsWideString("Bibliography"); }
  void SetBibliography(const std::wstring& v) { SetTag("Bibliography", v); }
  std::string Track() const { return TagAsString("Track"); }
  void SetTrack(const std::string& v) { SetTag("Track", v); }
  std::wstring Title() const { return TagAsWideString("Title"); }
  void SetTitle(const std::wstring& v) { SetTag("Title", v); }
  std::wstring SubTitle() const { return TagAsWideString("Subtitle"); }
  void SetSubTitle(const std::wstring& v) { SetTag("Subtitle", v); }
  std::wstring Comment() const { return TagAsWideString("Comment"); }
  void SetComment(const std::wstring& v) { SetTag("Comment", v); }
};
