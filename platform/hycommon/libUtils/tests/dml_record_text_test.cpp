#include "DMLRecord.h"

#include <gtest/gtest.h>

#include "datalayer_test_support.h"

namespace {

// A: INT 5 (key); W: WSTR "hi" (not transferred, locked); S: STR "ab" (persistence LIST).
DMLRecord MakeRecord() {
    DMLRecord r;
    r.GetField("A").SetValue(int32_t{5});
    r.GetField("A").SetFlag(DMLF_KEY, true);
    r.GetField("W").SetValue(std::u16string_view(u"hi"));
    r.GetField("W").SetFlag(DMLF_XFER, false);
    r.GetField("W").SetFlag(DMLF_LOCK, true);
    r.GetField("S").SetValue("ab");
    r.GetField("S").SetPersistence(PER_LIST);
    r.GetField("S").SetModified(false);
    return r;
}

}  // namespace

TEST(DMLRecordTextTest, TaggedForm) {
    DMLRecord r = MakeRecord();
    // "hi" in UTF-16LE is 68 00 69 00, Base64 "aABpAA==".
    EXPECT_EQ(r.ToText(DTF_Tagged),
              "]> |[MOD][KEY]<PER_NORM><INT>A=5"
              "|[MOD][NOXFER][LOCK]<PER_NORM><WSTR>W=aABpAA=="
              "|<PER_LIST><STR>S=ab");
    r.SetModified(false);
    r.SetDeleted(true);
    EXPECT_EQ(r.ToText(DTF_Tagged).substr(0, 9), "[DEL]>> |");
}

TEST(DMLRecordTextTest, XmlFormIsTheTableFileSyntax) {
    DMLRecord r = MakeRecord();
    r.GetField("P").SetValue(uint16_t{7});
    r.GetField("P").SetPersistence(PER_ALLOWNULL);
    r.GetField("P").SetFlag(DMLF_TSTAMP, true);
    r.GetField("P").SetFlag(DMLF_AUTO, true);
    EXPECT_EQ(r.ToText(DTF_Xml),
              "\n  <RECORD>\n"
              "    <A KEY=\"TRUE\" TYPE=\"INT\">5</A>\n"
              "    <W NOXFER=\"TRUE\" LOCK=\"TRUE\" TYPE=\"WSTR\">aABpAA==</W>\n"
              "    <S PER=\"LIST\" TYPE=\"STR\">ab</S>\n"
              "    <P TSTAMP=\"TRUE\" AUTO=\"TRUE\" ALLOWNULL=\"TRUE\" TYPE=\"USHRT\">7</P>\n"
              "  </RECORD>");
    r.SetDeleted(true);
    EXPECT_EQ(r.ToText(DTF_Xml), "");
}

TEST(DMLRecordTextTest, ColumnFormWidths) {
    DMLRecord r;
    r.GetField("A").SetValue(int32_t{5});
    r.GetField("LongName").SetValue(uint8_t{1});      // width raised to the name's length
    r.GetField("S").SetValue("abcdefgh");
    r.GetField("T").SetValue(uint32_t{1});
    r.GetField("T").SetFlag(DMLF_TSTAMP, true);
    r.SetModified(false);
    EXPECT_EQ(r.ToText(DTF_Columns, 5),
              "|         5|       1|abcde|                  1|");
    EXPECT_EQ(r.ColumnHeader(5), "|A         |LongName|S    |T                  |");
    EXPECT_EQ(r.ColumnSeparator(5), "+----------+--------+-----+-------------------+");
}

TEST(DMLRecordTextTest, DeletingAReferencedRecordIsLogged) {
    LogCapture capture;
    auto* record = new DMLRecord();
    record->GetField("A").SetValue(int32_t{1});
    record->AddRef();
    delete record;  // still referenced
    EXPECT_TRUE(capture->Contains("Deleting Record with Active References."));
    EXPECT_TRUE(capture->Contains("Record: \n  <RECORD>\n    <A TYPE=\"INT\">1</A>\n  </RECORD>"));
    DMLRecordRef counted = DMLRecordRef::Make();
    counted->GetField("B");
    counted = DMLRecordRef();  // the last holder frees it without a log
    EXPECT_EQ(capture->Count("Deleting Record with Active References."), 1u);
}
