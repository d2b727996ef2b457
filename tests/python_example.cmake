# The Python example (examples/python) through the package built in <build>/python against
# the built library: its workbook must be well-formed (expat) and hold exactly the expected
# styles and sheet.
if(CMAKE_SCRIPT_MODE_FILE)  # run by the test: -DPYTHON -DEXAMPLE -DLIBRARY -DOUT
  execute_process(COMMAND ${PYTHON} ${EXAMPLE} ${OUT} ${LIBRARY} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "written ${OUT}\n")
    message(FATAL_ERROR "the example failed (${rc}):\n${out}${err}")
  endif()
  execute_process(COMMAND ${PYTHON} -c
    "import sys, xml.parsers.expat as e; e.ParserCreate().Parse(open(sys.argv[1], 'rb').read(), True)"
    ${OUT} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OUT} is not well-formed:\n${err}")
  endif()
  file(READ ${OUT} text)
  string(FIND "${text}" "  <LastAuthor>Ufficio vendite</LastAuthor>\n" author)
  string(FIND "${text}" "  <Style ss:ID=\"head\">" styles)
  string(SUBSTRING "${text}" ${styles} -1 text)
  set(expected [=[
  <Style ss:ID="head">
   <Alignment ss:Horizontal="Left" ss:Vertical="Bottom"/>
   <Borders>
    <Border ss:Position="Bottom" ss:LineStyle="Continuous" ss:Weight="1"/>
   </Borders>
   <Font ss:Bold="1" />
   <Interior ss:Color="#DDEEFF"  ss:Pattern="Solid" />
   <NumberFormat ss:Format="General" />
   <Protection ss:Protected="0"/>
  </Style>
  <Style ss:ID="money">
   <Alignment ss:Horizontal="Left" ss:Vertical="Bottom"/>
   <NumberFormat ss:Format="#,##0.00" />
   <Protection ss:Protected="0"/>
  </Style>
 </Styles>
 <Worksheet ss:Name="Vendite" >
  <Table ss:ExpandedColumnCount="256" x:FullColumns="1" x:FullRows="1">
   <Column ss:Index="1"  ss:AutoFitWidth="0" ss:Width="110"/>
   <Row>
    <Cell ss:StyleID="head" ><Data ss:Type="String">Mese</Data></Cell>
    <Cell ss:StyleID="head" ><Data ss:Type="String">Importo</Data></Cell>
    <Cell ss:StyleID="head" ><Data ss:Type="String">Chiuso il</Data></Cell>
   </Row>
   <Row>
    <Cell ><Data ss:Type="String">Gennaio</Data></Cell>
    <Cell ss:StyleID="money" ><Data ss:Type="Number">1250.5</Data></Cell>
    <Cell ss:StyleID="date" ><Data ss:Type="DateTime">2024-01-31T00:00:00.000</Data></Cell>
   </Row>
   <Row>
    <Cell ><Data ss:Type="String">Febbraio</Data></Cell>
    <Cell ss:StyleID="money" ><Data ss:Type="Number">980</Data></Cell>
    <Cell ss:StyleID="date" ><Data ss:Type="DateTime">2024-02-29T00:00:00.000</Data></Cell>
   </Row>
   <Row>
    <Cell ><Data ss:Type="String">Città &amp; dintorni</Data></Cell>
    <Cell ss:StyleID="money" ><Data ss:Type="Number">0.1</Data></Cell>
    <Cell ss:StyleID="date" ><Data ss:Type="DateTime">2024-03-28T00:00:00.000</Data></Cell>
   </Row>
   <Row>
    <Cell ss:StyleID="head" ><Data ss:Type="String">Totale</Data></Cell>
    <Cell ss:Formula="=SUM(R[-3]C:R[-1]C)" ss:StyleID="money" ><Data ss:Type="Number">0</Data></Cell>
   </Row>
  </Table>
  <WorksheetOptions xmlns="urn:schemas-microsoft-com:office:excel">
   <PageSetup>
    <Layout x:Orientation="Landscape"/>
    <Header x:Margin="0.5"  x:Data="Vendite per mese"/>
    <Footer x:Margin="0.5" x:Data="Pagina &amp;P"/>
    <PageMargins x:Bottom="1" x:Left="1" x:Right="1" x:Top="1"/>
   </PageSetup>
   <Print>
    <Gridlines/>
   </Print>
   <Selected/>
   <ProtectObjects>False</ProtectObjects>
   <ProtectScenarios>False</ProtectScenarios>
  </WorksheetOptions>
 </Worksheet>
</Workbook>
]=])
  if(author EQUAL -1 OR NOT text STREQUAL expected)
    message(FATAL_ERROR "${OUT} differs from the expected workbook:\n${text}")
  endif()
  return()
endif()

if(NOT GRIDQUILL_BUILD_PYTHON)
  return()
endif()
add_test(NAME python_example
         COMMAND ${CMAKE_COMMAND} -DPYTHON=${Python3_EXECUTABLE}
                 -DEXAMPLE=${PROJECT_SOURCE_DIR}/examples/python/example.py
                 -DLIBRARY=$<TARGET_FILE:gridquill> -DOUT=${CMAKE_CURRENT_BINARY_DIR}/python_example.xml
                 -P ${CMAKE_CURRENT_LIST_FILE})
# No __pycache__ in the source tree; the package as built here.
set(python_env PYTHONDONTWRITEBYTECODE=1 PYTHONPATH=${PROJECT_BINARY_DIR}/python)
if(GRIDQUILL_SANITIZE MATCHES "address")
  # Python itself is not instrumented: the sanitizer runtime must be loaded first.
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND python_env LD_PRELOAD=${asan_runtime} ASAN_OPTIONS=detect_leaks=0)
endif()
set_tests_properties(python_example PROPERTIES ENVIRONMENT "${python_env}")
