import sys, time
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for a in ["--headless", "--no-sandbox", "--disable-gpu", "--window-size=1280,800"]:
    options.add_argument(a)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    driver.get(sys.argv[1])
    time.sleep(6)
    text = driver.title
    print(driver.execute_script("return typeof cockpit + ' ' + document.cookie + ' ' + location.href"))
    for entry in driver.get_log("browser"): print(entry)
    driver.save_screenshot("/tmp/webtry/page.png")
finally:
    driver.quit()
