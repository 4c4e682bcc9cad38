# needs: mount-namespace
# The demonstration: its exception, log, record and configuration.
rmdir ${F%/*}; $t demo >d; s=$?
grep -c kept-from-an-earlier-run d
grep -cF -e 'Error Code: 1081' \
  -e ' component=cstool-demo op=schema-load] ConfigStoreException: #0 ' \
  -e '1  jot.user.cs.schema.file.error  Error processing schema file /etc/' \
  -e '"cs_generated_id": ' d
exit $s
