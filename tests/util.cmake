# Numeric text parsing, string utilities, calendar dates and value formatting.
vellorin_add_test(StringUtilsTest
    SOURCES StringUtilsTest.cpp
    LIBS CommonUtil)
vellorin_add_test(DateTest
    SOURCES DateTest.cpp
    LIBS CommonUtil)
vellorin_add_test(FormatTest
    SOURCES FormatTest.cpp
    LIBS CommonUtil)
